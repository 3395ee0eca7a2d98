#include "shell/help_sitemap.h"

#include <QRegularExpression>
#include <QTextDocumentFragment>

namespace tarnel {

namespace {

QString Attribute(const QString& tag, const QString& name)
{
    const QRegularExpression re(QStringLiteral("\\b%1\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))").arg(name),
                                QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(tag);
    if (!m.hasMatch()) return {};
    for (int i = 1; i <= 3; ++i)
        if (m.capturedStart(i) >= 0) return m.captured(i);
    return {};
}

QString DecodeEntities(const QString& text)
{
    if (!text.contains(QLatin1Char('&'))) return text;
    return QTextDocumentFragment::fromHtml(text).toPlainText();
}

} // namespace

std::vector<SitemapEntry> ParseSitemap(const QString& text)
{
    static const QRegularExpression tagRe(QStringLiteral("<\\s*(/?)\\s*([A-Za-z]+)([^>]*)>"));
    std::vector<SitemapEntry> top;
    // The chain of open lists; each list's entries go into the last entry of
    // the list above (or the top level).
    std::vector<std::vector<SitemapEntry>*> lists;
    SitemapEntry current;
    bool inObject = false;
    int depth = 0;   // <UL> nesting, to ignore a stray </UL>

    auto target = [&]() -> std::vector<SitemapEntry>* { return lists.empty() ? &top : lists.back(); };

    for (auto it = tagRe.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const bool closing = !m.captured(1).isEmpty();
        const QString tag = m.captured(2).toLower();
        const QString attrs = m.captured(3);
        if (tag == QLatin1String("ul")) {
            if (!closing) {
                // The first <UL> is the top level; the next ones belong to the entry before them.
                if (depth > 0) {
                    // A list with no entry before it continues the list it is in.
                    std::vector<SitemapEntry>* parent = target();
                    lists.push_back(parent->empty() ? parent : &parent->back().children);
                }
                ++depth;
            } else if (depth > 0) {
                --depth;
                if (!lists.empty() && depth > 0) lists.pop_back();
            }
        } else if (tag == QLatin1String("object") && !closing) {
            inObject = Attribute(attrs, QStringLiteral("type")).compare(QStringLiteral("text/sitemap"), Qt::CaseInsensitive) == 0;
            current = SitemapEntry{};
        } else if (tag == QLatin1String("object") && closing) {
            if (inObject && depth > 0) target()->push_back(current);
            inObject = false;
        } else if (tag == QLatin1String("param") && inObject) {
            const QString name = Attribute(attrs, QStringLiteral("name")).toLower();
            const QString value = DecodeEntities(Attribute(attrs, QStringLiteral("value")));
            if (name == QLatin1String("name") && current.name.isEmpty()) current.name = value;
            else if (name == QLatin1String("local")) current.locals << value;
        }
    }
    return top;
}

std::vector<const SitemapEntry*> FlattenSitemap(const std::vector<SitemapEntry>& entries)
{
    std::vector<const SitemapEntry*> out;
    for (const SitemapEntry& e : entries) {
        out.push_back(&e);
        for (const SitemapEntry* c : FlattenSitemap(e.children)) out.push_back(c);
    }
    return out;
}

QStringList PageLinks(const QString& html)
{
    static const QRegularExpression re(QStringLiteral("\\b(?:href|src)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"),
                                       QRegularExpression::CaseInsensitiveOption);
    QStringList links;
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        links << (m.capturedStart(1) >= 0 ? m.captured(1) : m.captured(2));
    }
    return links;
}

QString PageText(const QString& html)
{
    static const QRegularExpression hidden(QStringLiteral("<(script|style|head)\\b.*?</\\1\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    QString text = html;
    text.remove(hidden);
    text.replace(tags, QStringLiteral(" "));
    return DecodeEntities(text).simplified();
}

QString PageTitle(const QString& html)
{
    static const QRegularExpression re(QStringLiteral("<title[^>]*>(.*?)</title>"),
                                       QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto m = re.match(html);
    return m.hasMatch() ? DecodeEntities(m.captured(1)).simplified() : QString();
}

} // namespace tarnel
