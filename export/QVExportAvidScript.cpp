#include "export/QVExportAvidScript.h"

#include <QStringList>

namespace qv {

QString QVExportAvidScript::exportCurrentFile() const {
    QString script;
    for (const auto& range : transcript_.ranges) {
        QStringList lines{range.speakerName.toUpper()};
        QString line;
        for (const auto& word : range.words) {
            if (word.newParagraph) {
                lines << line << QString();
                line.clear();
            }
            if (line.size() + word.name.size() + 1 > kAvidScriptMaxLineLength) {
                lines << line;
                line = word.name;
            } else {
                if (!line.isEmpty()) line += QLatin1Char(' ');
                line += word.name;
            }
        }
        if (!line.isEmpty()) lines << line;
        if (!script.isEmpty()) script += QLatin1String("\n\n");
        script += lines.join(QLatin1Char('\n'));
    }
    return script;
}

}  // namespace qv
