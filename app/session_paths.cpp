#include "app/session_paths.h"

namespace tarnel::app {

QString MakeRecentEntry(const QString& pathOrAlias, const QString& tableName)
{
    return kAliasMarker + pathOrAlias + QLatin1Char('/') + tableName;
}

QString FolderPart(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash + 1);
}

TableReference ParseRecentEntry(const QString& entry)
{
    TableReference ref;
    QString folder = FolderPart(entry);
    ref.TableName = entry.mid(folder.size());
    // Only an entry with the whole marker is unwrapped, so that a plain
    // path whose first folder starts with "$" is kept as it is.
    if (folder.startsWith(kAliasMarker)) {
        folder.chop(1);
        folder.remove(0, kAliasMarker.size());
    }
    ref.DatabaseName = folder;
    return ref;
}

QString TableCaption(const QString& tableName)
{
    return tableName + QStringLiteral(" - ") + QStringLiteral("Tarnel 32");
}

namespace {
// "*.bmp" -> "*.[Bb][Mm][Pp]": the dialog then lists cave.bmp and CAVE.BMP alike.
QString AnyCasePattern(const QString& pattern)
{
    if (pattern == QLatin1String("*.*")) return QStringLiteral("*");
    QString out;
    for (QChar c : pattern) {
        if (c.isLetter() && c.toUpper() != c.toLower())
            out += QLatin1Char('[') + c.toUpper() + c.toLower() + QLatin1Char(']');
        else
            out += c;
    }
    return out;
}
} // namespace

QStringList NameFiltersFromFilterText(const QString& filterText)
{
    const QStringList parts = filterText.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << AnyCasePattern(p.trimmed());
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

} // namespace tarnel::app
