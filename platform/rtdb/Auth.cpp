#include "platform/rtdb/Auth.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/FileUtilities.h"

#include <nlohmann/json.hpp>

namespace qv {

Auth::Auth(AuthService& service, Dispatcher& mainQueue, Options options)
    : service_(service), mainQueue_(mainQueue), options_(std::move(options))
{
    if (options_.stateFile.empty())
        return;
    auto bytes = readFile(options_.stateFile);
    if (!bytes)
        return;
    auto json = nlohmann::json::parse(*bytes, nullptr, false);
    auto token = json.is_object() ? json.find("token") : json.end();
    if (json.is_object() && token != json.end() && token->is_string()) {
        // The kept token may be past its hour: it is exchanged for a fresh one.
        auto checked = service_.renewSession(token->get<std::string>());
        if (auto* session = std::get_if<std::optional<AuthSession>>(&checked); session && *session) {
            user_ = std::move((*session)->user);
            token_ = std::move((*session)->token);
            saveState();
            scheduleRenewal();
            return;
        }
        // A service that cannot be reached has not ended the sign-in: keep it as it was kept.
        auto uid = json.find("uid");
        auto email = json.find("email");
        if (std::holds_alternative<AuthError>(checked) && uid != json.end() && uid->is_string()) {
            logWarning("auth: the service cannot be reached; keeping the sign-in as it was");
            auto verified = json.find("verified");
            user_ = User{uid->get<std::string>(), email != json.end() && email->is_string() ? email->get<std::string>() : "",
                         verified != json.end() && verified->is_boolean() && verified->get<bool>()};
            token_ = token->get<std::string>();
            scheduleRenewal();
            return;
        }
    }
    logInfo("auth: the kept sign-in is no longer valid");
}

Auth::~Auth()
{
    *alive_ = false;
    if (renewal_)
        mainQueue_.cancel(*renewal_);
}

void Auth::scheduleRenewal()
{
    if (renewal_)
        mainQueue_.cancel(*renewal_);
    renewal_ = mainQueue_.every(options_.renewSeconds, [this] { renew(); });
}

void Auth::renew()
{
    if (!user_)
        return;
    hashing_.run(
        mainQueue_, [&service = service_, token = token_] { return service.renewSession(token); },
        [this, alive = alive_, old = token_](std::variant<std::optional<AuthSession>, AuthError> result) {
            // A sign-out or another sign-in meanwhile has made this answer moot.
            if (!*alive || !user_ || token_ != old)
                return;
            if (std::holds_alternative<AuthError>(result))
                return;  // the service cannot be asked: the next turn tries again
            auto& session = std::get<std::optional<AuthSession>>(result);
            if (!session) {
                logInfo("auth: the service ended this sign-in");
                user_.reset();
                token_.clear();
                forgetKeptSignIn();
                notifyListeners();
                return;
            }
            token_ = session->token;
            saveState();
            if (tokenListener_)
                tokenListener_(token_);
        });
}

std::filesystem::path Auth::defaultStateFile()
{
    return applicationDataFolder() / "signed-in.json";
}

Auth::ListenerHandle Auth::addAuthStateListener(Listener listener)
{
    ListenerHandle handle = nextListener_++;
    auto shared = std::make_shared<Listener>(std::move(listener));
    listeners_[handle] = shared;
    mainQueue_.async([this, alive = alive_, handle, shared, user = user_] {
        if (*alive && listeners_.count(handle))
            (*shared)(user);
    });
    return handle;
}

void Auth::removeAuthStateListener(ListenerHandle handle) { listeners_.erase(handle); }

void Auth::createUser(const std::string& email, const std::string& password, SignInCompletion completion)
{
    signInWith([&service = service_, email, password] { return service.createAccount(email, password); },
               std::move(completion));
}

void Auth::signIn(const std::string& email, const std::string& password, SignInCompletion completion)
{
    signInWith([&service = service_, email, password] { return service.signIn(email, password); },
               std::move(completion));
}

void Auth::signInWith(std::function<std::variant<AuthSession, AuthError>()> request, SignInCompletion completion)
{
    hashing_.run(mainQueue_, std::move(request), [this, alive = alive_, completion = std::move(completion)](auto result) {
        if (*alive)
            finishSignIn(std::move(result), completion);
    });
}

void Auth::sendPasswordReset(const std::string& email, Completion completion)
{
    // A service over the network answers slowly: ask from the worker, never the main thread.
    hashing_.run(
        mainQueue_, [&service = service_, email] { return service.requestPasswordReset(email); },
        [alive = alive_, completion = std::move(completion)](std::optional<AuthError> error) {
            if (*alive && completion)
                completion(error);
        });
}

std::optional<AuthError> Auth::signOut()
{
    if (!user_)
        return std::nullopt;
    service_.endSession(token_);
    user_.reset();
    token_.clear();
    forgetKeptSignIn();
    notifyListeners();
    return std::nullopt;
}

void Auth::forgetKeptSignIn()
{
    if (renewal_)
        mainQueue_.cancel(*renewal_);
    renewal_.reset();
    if (!options_.stateFile.empty()) {
        std::error_code ec;
        std::filesystem::remove(options_.stateFile, ec);
    }
}

void Auth::finishSignIn(std::variant<AuthSession, AuthError> result, SignInCompletion completion)
{
    if (auto* error = std::get_if<AuthError>(&result)) {
        if (completion)
            completion(std::nullopt, *error);
        return;
    }
    auto& session = std::get<AuthSession>(result);
    if (!token_.empty() && token_ != session.token)
        service_.endSession(token_);
    user_ = session.user;
    token_ = session.token;
    saveState();
    scheduleRenewal();
    notifyListeners();
    if (completion)
        mainQueue_.async([alive = alive_, completion, user = user_] {
            if (*alive)
                completion(user, std::nullopt);
        });
}

void Auth::notifyListeners()
{
    for (const auto& [handle, listener] : listeners_)
        mainQueue_.async([this, alive = alive_, handle = handle, listener = listener, user = user_] {
            if (*alive && listeners_.count(handle))
                (*listener)(user);
        });
}

void Auth::saveState() const
{
    if (options_.stateFile.empty())
        return;
    nlohmann::json json = {{"uid", user_->uid}, {"email", user_->email}, {"verified", user_->emailVerified}, {"token", token_}};
    std::string error = replaceFile(options_.stateFile, json.dump());
    if (!error.empty())
        logWarning("auth: cannot keep the sign-in: " + error);
}

}  // namespace qv
