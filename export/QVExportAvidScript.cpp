#include "export/QVExportAvidScript.h"

#include "platform/foundation/WritableText.h"

#include <QStringList>

namespace qv {

QString QVExportAvidScript::exportCurrentFile() const {
    QString script;
    for (const auto& range : transcript_.ranges) {
        QStringList lines{withoutUnwritableCharacters(range.speakerName).toUpper()};
        QString line;
        for (const auto& word : range.words) {
            if (word.newParagraph) {
                lines << line << QString();
                line.clear();
            }
            const QString name = withoutUnwritableCharacters(word.name);
            if (line.size() + name.size() + 1 > kAvidScriptMaxLineLength) {
                lines << line;
                line = name;
            } else {
                if (!line.isEmpty()) line += QLatin1Char(' ');
                line += name;
            }
        }
        if (!line.isEmpty()) lines << line;
        if (!script.isEmpty()) script += QLatin1String("\n\n");
        script += lines.join(QLatin1Char('\n'));
    }
    return script;
}

}  // namespace qv
