// The built help file read back with our reader: contents, index, the topic
// numbers of the dialogs, and links that all lead somewhere.
#include <gtest/gtest.h>

#include <QString>
#include <QUrl>
#include <fstream>
#include <set>

#include "shell/chm_file.h"
#include "shell/help_sitemap.h"
#include "tests/support/test_paths.h"

using namespace tarnel;

namespace {

const std::string kHelpFile = TARNEL_BIN_DIR "/TARNEL32.chm";

QString Text(const ChmFile& chm, const std::string& path)
{
    const auto data = chm.Read(path);
    return data ? QString::fromStdString(*data) : QString();
}

// A link target as a path inside the file, relative to the page's folder;
// empty for links that leave the file (other schemes) or stay on the page.
std::string LinkTarget(const std::string& page, const QString& link)
{
    const QUrl url(link);
    if (!url.scheme().isEmpty() || url.path().isEmpty()) return {};
    const QUrl base(QStringLiteral("chm:") + QString::fromStdString(page));
    return base.resolved(url).path().toStdString();
}

} // namespace

TEST(HelpFile, ContentsAndIndexLeadToStoredPages)
{
    ChmFile chm(kHelpFile);
    EXPECT_EQ(chm.DefaultTopic(), "/intro.htm");
    EXPECT_EQ(chm.Title(), "Tarnel Help");

    const auto contents = ParseSitemap(Text(chm, chm.ContentsFile()));
    ASSERT_FALSE(contents.empty());
    EXPECT_EQ(contents.front().name, "Welcome to Tarnel");
    std::set<QString> names;
    for (const SitemapEntry* e : FlattenSitemap(contents)) {
        names.insert(e->name);
        for (const QString& local : e->locals) EXPECT_TRUE(chm.Locate(local.toStdString())) << local.toStdString();
    }
    // The dialog pages sit one level down, under the page about tables.
    const auto tables = std::find_if(contents.begin(), contents.end(),
                                     [](const SitemapEntry& e) { return e.name.startsWith("Creating"); });
    ASSERT_NE(tables, contents.end());
    EXPECT_EQ(tables->children.size(), 4u);
    EXPECT_TRUE(names.count("tarnel-cli") && names.count("Settings files"));

    // Every page is in the contents.
    std::set<std::string> listed;
    for (const SitemapEntry* e : FlattenSitemap(contents))
        for (const QString& local : e->locals) listed.insert(*chm.Locate(local.toStdString()));
    for (const std::string& page : chm.Pages()) EXPECT_TRUE(listed.count(page)) << page;

    const auto indexTree = ParseSitemap(Text(chm, chm.IndexFile()));
    const auto index = FlattenSitemap(indexTree);
    EXPECT_GT(index.size(), 30u);
    bool memo = false;
    for (const SitemapEntry* e : index) {
        ASSERT_FALSE(e->locals.isEmpty()) << e->name.toStdString();
        EXPECT_TRUE(chm.Locate(e->locals.front().toStdString())) << e->name.toStdString();
        memo |= e->name == "memo fields";
    }
    EXPECT_TRUE(memo);
}

TEST(HelpFile, TopicNumbersOfTheDialogs)
{
    ChmFile chm(kHelpFile);
    EXPECT_EQ(chm.TopicForContext(1), "/dlg_open.htm");
    EXPECT_EQ(chm.TopicForContext(2), "/dlg_create.htm");
    EXPECT_EQ(chm.TopicForContext(3), "/dlg_copy.htm");
    EXPECT_EQ(chm.TopicForContext(4), "/dlg_restructure.htm");
    EXPECT_FALSE(chm.TopicForContext(5));
    EXPECT_FALSE(chm.TopicForContext(0));
    // Topics are stored with the build folder's absolute path or bare: both find the page.
    EXPECT_EQ(chm.Locate("/home/someone/build/help/work/dlg_copy.htm"), "/dlg_copy.htm");
    EXPECT_EQ(chm.Locate("dlg_copy.htm"), "/dlg_copy.htm");
    EXPECT_FALSE(chm.Locate("/home/someone/nowhere.htm"));
}

TEST(HelpFile, EveryLinkInEveryPageResolves)
{
    ChmFile chm(kHelpFile);
    const auto pages = chm.Pages();
    ASSERT_GE(pages.size(), 13u);
    int links = 0;
    for (const std::string& page : pages) {
        const QString html = Text(chm, page);
        EXPECT_FALSE(PageTitle(html).isEmpty()) << page;
        for (const QString& link : PageLinks(html)) {
            const std::string target = LinkTarget(page, link);
            if (target.empty()) continue;
            ++links;
            EXPECT_TRUE(chm.Contains(target)) << page << " links to " << link.toStdString();
        }
    }
    EXPECT_GT(links, 50);
}

TEST(HelpFile, NotAHelpFileIsAClearError)
{
    tarnel::test::ScratchDir dir;
    const std::string bogus = dir.path() + "/bogus.chm";
    std::ofstream(bogus) << "ITSF but not really a help file";
    for (const std::string& path : {bogus, dir.path() + "/missing.chm"}) {
        try {
            ChmFile chm(path);
            ADD_FAILURE() << "opened " << path;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
}

TEST(HelpSitemap, NestedListsAndHostileText)
{
    const auto entries = ParseSitemap(QStringLiteral(
        "<ul><li><object type=\"text/sitemap\"><param name=\"Name\" value=\"A &amp; B\">"
        "<param name=\"Local\" value=\"a.htm\"><param name=\"Local\" value=\"b.htm\"></object>"
        "<UL><LI><OBJECT type='text/sitemap'><param name=Name value=Child></OBJECT></UL>"
        "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"C\"></object></ul></ul>"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "A & B");
    EXPECT_EQ(entries[0].locals, QStringList({"a.htm", "b.htm"}));
    ASSERT_EQ(entries[0].children.size(), 1u);
    EXPECT_EQ(entries[0].children[0].name, "Child");
    EXPECT_EQ(entries[1].name, "C");
    // Unclosed lists and objects, and plain garbage, give what was complete.
    EXPECT_EQ(ParseSitemap("<ul><ul><ul><object type=\"text/sitemap\">").size(), 0u);
    EXPECT_TRUE(ParseSitemap("</ul></ul><<>>\x01").empty());
    EXPECT_EQ(PageText("<head><title>T</title></head><p>a&lt;b</p><script>x()</script>"), "a<b");
}
