#include "app/AccountShell.h"

AccountShell::AccountShell(AppDelegate& ad, ShellServices& services, qv::Dispatcher& mainQueue,
                           qv::Preferences& preferences, qv::Auth& auth, Options options)
    : cache(ad, services, mainQueue, std::move(options.clock)),
      presence(ad, services, options.versions.appVersion),
      loader(ad, services, mainQueue, preferences, cache, std::move(options.createFile)),
      logOut(ad, services, preferences, auth, options.homeFolder),
      observers(ad, services, mainQueue, preferences, presence, loader, cache, logOut, options.versions),
      fileStatus(ad, services, mainQueue, cache)
{
}

void AccountShell::start(qv::Auth& auth)
{
    observers.setupConnectionObserver();
    observers.setupStatusObserver();
    observers.setupUserObservers(auth);
    observers.setupUnverifiedAccountMessageObserver();
    cache.startEvictionTimer();
}
