#pragma once
// The contents and index files of a help file (sitemap lists of
// <OBJECT type="text/sitemap"> entries in nested <UL>s), and what the help
// window needs from a page: its links and its plain text.
#include <QString>
#include <QStringList>
#include <vector>

namespace tarnel {

struct SitemapEntry {
    QString name;                       // "Name" parameter
    QStringList locals;                 // "Local" parameters (an index keyword may have several)
    std::vector<SitemapEntry> children; // the entries of the <UL> that follows it
};

// The top-level entries of a sitemap text. Unknown tags are skipped; an
// unclosed list ends with the text.
std::vector<SitemapEntry> ParseSitemap(const QString& text);

// Every entry of a tree in reading order, parents before children.
std::vector<const SitemapEntry*> FlattenSitemap(const std::vector<SitemapEntry>& entries);

// The targets of a page's href and src attributes, as written.
QStringList PageLinks(const QString& html);

// A page's readable text: tags, scripts and styles removed, entities decoded,
// white space folded.
QString PageText(const QString& html);

// The page's <title>, or empty text.
QString PageTitle(const QString& html);

} // namespace tarnel
