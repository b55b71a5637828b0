#include "fcpx/PartnerHandOff.h"

#include <QProcess>

std::optional<HandOffError> runPartnerCommand(const QString& commandLine, const QString& path)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return HandOffError{kHandOffNoSuchApplication, QStringLiteral("No command is set to open the document.")};
    const QString program = arguments.takeFirst();
    arguments.append(path);

    // Owned by itself once started: a command still running at the end of the wait is left to
    // run and deletes its process object when it ends.
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted()) {
        HandOffError error{kHandOffNoSuchApplication,
                           QStringLiteral("%1 could not be started: %2").arg(program, process->errorString())};
        delete process;
        return error;
    }
    if (!process->waitForFinished(kHandOffWaitMilliseconds)) {
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        return std::nullopt;
    }
    std::optional<HandOffError> error;
    if (process->exitStatus() != QProcess::NormalExit) {
        error = HandOffError{process->exitCode(), QStringLiteral("%1 stopped unexpectedly.").arg(program)};
    } else if (process->exitCode() != 0) {
        QString message = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
        if (message.isEmpty())
            message = QStringLiteral("%1 ended with status %2.").arg(program).arg(process->exitCode());
        error = HandOffError{process->exitCode(), message};
    }
    delete process;
    return error;
}

OpenInApplication partnerCommandsFromPreferences(const qv::Preferences& preferences)
{
    return [&preferences](const QString& application, const QString& path) {
        const QString& key = application == kPartnerTrialApplication ? kQVPartnerEditorTrialCommand
                                                                      : kQVPartnerEditorCommand;
        return runPartnerCommand(preferences.stringForKey(key).value_or(kDefaultPartnerEditorCommand), path);
    };
}

std::optional<HandOffError> openInPartnerEditor(const OpenInApplication& open, const QString& path)
{
    std::optional<HandOffError> error = open(kPartnerApplication, path);
    if (error && error->number == kHandOffNoSuchApplication)
        error = open(kPartnerTrialApplication, path);
    return error;
}
