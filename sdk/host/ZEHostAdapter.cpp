#include "sdk/host/ZEHostAdapter.h"

#include "sdk/telemetry/Internals/Util/Platform/ZEApplicationEvents.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QWindow>

namespace ze {

namespace {

qv::PreferenceValue toPreference(const ZESettingValue& value)
{
    return std::visit(
        [](const auto& v) -> qv::PreferenceValue {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return QString::fromStdString(v);
            } else if constexpr (std::is_same_v<T, ZEDate>) {
                return qv::PreferenceDate{std::chrono::duration<double>(v.time_since_epoch()).count()};
            } else if constexpr (std::is_same_v<T, ZEData>) {
                return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
            } else {
                return v;
            }
        },
        value);
}

std::optional<ZESettingValue> fromPreference(const qv::PreferenceValue& value)
{
    if (const auto* v = value.get<bool>()) {
        return *v;
    }
    if (const auto* v = value.get<std::int64_t>()) {
        return *v;
    }
    if (const auto* v = value.get<double>()) {
        return *v;
    }
    if (const auto* v = value.get<QString>()) {
        return v->toStdString();
    }
    if (const auto* v = value.get<qv::PreferenceDate>()) {
        return ZEDateFromSeconds(v->secondsSince1970);
    }
    if (const auto* v = value.get<QByteArray>()) {
        return ZEData(v->begin(), v->end());
    }
    return std::nullopt;
}

} // namespace

ZEPreferencesSettings::ZEPreferencesSettings(qv::Preferences& preferences, qv::Dispatcher& mainQueue)
    : preferences_(preferences)
    , mainQueue_(mainQueue)
{
    if (const auto stored = preferences_.dictionaryForKey(kPreferencesKey)) {
        for (const auto& [key, value] : *stored) {
            if (auto converted = fromPreference(value)) {
                values_[key.toStdString()] = std::move(*converted);
            }
        }
    }
}

std::optional<ZESettingValue> ZEPreferencesSettings::objectForKey(const std::string& key) const
{
    std::lock_guard lock(mutex_);
    const auto found = values_.find(key);
    return found == values_.end() ? std::nullopt : std::optional(found->second);
}

void ZEPreferencesSettings::setObject(const std::string& key, ZESettingValue value)
{
    {
        std::lock_guard lock(mutex_);
        values_[key] = std::move(value);
    }
    scheduleWrite();
}

void ZEPreferencesSettings::removeObject(const std::string& key)
{
    {
        std::lock_guard lock(mutex_);
        values_.erase(key);
    }
    scheduleWrite();
}

std::map<std::string, ZESettingValue> ZEPreferencesSettings::dictionaryRepresentation() const
{
    std::lock_guard lock(mutex_);
    return values_;
}

void ZEPreferencesSettings::scheduleWrite()
{
    std::weak_ptr<ZEPreferencesSettings> weak = weak_from_this();
    mainQueue_.async([weak] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        qv::PreferenceDictionary dictionary;
        for (const auto& [key, value] : self->dictionaryRepresentation()) {
            dictionary[QString::fromStdString(key)] = toPreference(value);
        }
        self->preferences_.setObject(kPreferencesKey, std::move(dictionary));
    });
}

ZEQtMainThreadExecutor::ZEQtMainThreadExecutor(qv::Dispatcher& mainQueue)
    : mainQueue_(mainQueue)
{
}

void ZEQtMainThreadExecutor::post(std::function<void()> task)
{
    mainQueue_.async(std::move(task));
}

bool ZEQtMainThreadExecutor::isMainThread() const
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

bool ZEQtMainThreadExecutor::isApplicationHidden() const
{
    const auto windows = QGuiApplication::topLevelWindows();
    for (const QWindow* window : windows) {
        if (window->isVisible() && !(window->windowStates() & Qt::WindowMinimized)) {
            return false;
        }
    }
    return !windows.isEmpty();
}

std::optional<std::pair<double, double>> ZEQtMainThreadExecutor::mainScreenSize() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return std::nullopt;
    }
    const QRect frame = screen->geometry();
    return std::pair<double, double>(frame.width(), frame.height());
}

ZEHostAdapter::ZEHostAdapter(qv::Dispatcher& mainQueue, qv::Preferences& preferences)
{
    ZEPlatform::setMainThreadExecutor(std::make_shared<ZEQtMainThreadExecutor>(mainQueue));
    ZEPlatform::setSettings(std::make_shared<ZEPreferencesSettings>(preferences, mainQueue));
    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        activation_ = QObject::connect(application, &QGuiApplication::applicationStateChanged, [](Qt::ApplicationState state) {
            ZEApplicationEvents::post(state == Qt::ApplicationActive ? ZEApplicationEvent::WillBecomeActive
                                                                     : ZEApplicationEvent::DidResignActive);
        });
    }
}

ZEHostAdapter::~ZEHostAdapter()
{
    QObject::disconnect(activation_);
}

void ZEHostAdapter::startTelemetry(const std::string& appSecret, const std::string& logUrl,
    const ZEHostApplicationVersion& version, const std::vector<ZEZavEdurov::Service>& services)
{
    auto info = ZEPlatform::applicationInfo();
    info.shortVersion = version.shortVersion;
    info.buildVersion = version.build;
    ZEPlatform::setApplicationInfo(std::move(info));
    ZEZavEdurov::setLogUrl(logUrl);
    ZEZavEdurov::start(appSecret, services);
}

} // namespace ze
