// This computer's side of authentication: the signed-in user, kept across launches in a state
// file, the auth-state listeners, and sign-up, sign-in, sign-out and password reset against the
// authentication service. Every listener call and completion arrives later on the main queue;
// the slow password hashing of sign-up and sign-in runs on a private worker thread meanwhile.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/WorkQueue.h"
#include "platform/rtdb/AuthService.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

namespace qv {

class Auth {
public:
    struct Options {
        // Where the signed-in session is kept between launches; empty keeps it in memory only.
        std::filesystem::path stateFile;
        // While signed in, the token is exchanged for a new one this often, in seconds, well
        // within the hour the service's tokens sign in for. Defaults to 45 minutes.
        double renewSeconds = 45 * 60;
    };
    using ListenerHandle = std::uint64_t;
    using Listener = std::function<void(const std::optional<User>& user)>;
    using SignInCompletion = std::function<void(const std::optional<User>& user, const std::optional<AuthError>& error)>;
    using Completion = std::function<void(const std::optional<AuthError>& error)>;

    // Restores the sign-in kept in `stateFile` when the service still knows it.
    // `service` and `mainQueue` must outlive this object.
    Auth(AuthService& service, Dispatcher& mainQueue, Options options);
    Auth(AuthService& service, Dispatcher& mainQueue) : Auth(service, mainQueue, Options{}) {}
    Auth(const Auth&) = delete;
    Auth& operator=(const Auth&) = delete;
    ~Auth();

    // <XDG data>/<bundle id>/signed-in.json
    static std::filesystem::path defaultStateFile();

    const std::optional<User>& currentUser() const { return user_; }
    // The token of the signed-in session, for the database connection; empty when signed out.
    const std::string& token() const { return token_; }

    // Called with the new token each time the signed-in session's token is renewed (the user
    // stays the same): the database line must use it from then on.
    void setTokenListener(std::function<void(const std::string& token)> listener) { tokenListener_ = std::move(listener); }

    // Called once soon after registering, with the current user or none, then after every
    // sign-in and sign-out.
    ListenerHandle addAuthStateListener(Listener listener);
    void removeAuthStateListener(ListenerHandle handle);

    // Creates the account and signs the new user in.
    void createUser(const std::string& email, const std::string& password, SignInCompletion completion);
    void signIn(const std::string& email, const std::string& password, SignInCompletion completion);
    // Asks the service to mail a reset link.
    void sendPasswordReset(const std::string& email, Completion completion);
    // Signs out at once and forgets the kept session; never fails here.
    std::optional<AuthError> signOut();

private:
    // Runs `request` (which hashes a password) on the worker, then finishes on the main queue.
    void signInWith(std::function<std::variant<AuthSession, AuthError>()> request, SignInCompletion completion);
    void finishSignIn(std::variant<AuthSession, AuthError> result, SignInCompletion completion);
    void notifyListeners();
    void saveState() const;
    // Renews the token now and then while someone is signed in.
    void scheduleRenewal();
    void renew();
    void forgetKeptSignIn();

    AuthService& service_;
    Dispatcher& mainQueue_;
    Options options_;
    std::optional<User> user_;
    std::string token_;
    std::map<ListenerHandle, std::shared_ptr<Listener>> listeners_;
    ListenerHandle nextListener_ = 1;
    std::function<void(const std::string&)> tokenListener_;
    std::optional<TimerId> renewal_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Runs what may take long: password hashing, requests to a service over the network.
    SerialQueue hashing_{"auth requests"};
};

}  // namespace qv
