// How the stand-in viewer reads what it receives, and what its window lists.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include "viewer/feature_stream.h"
#include "viewer/viewer_window.h"

namespace {

QByteArray Block(const char* text)
{
    return QByteArray(text) + QByteArray(1, '\0');
}

} // namespace

TEST(FeatureStream, ReadsEachDisplayMethod)
{
    QList<TFeature> f = ParseFeatureStream(Block("#R,Pools, big,2.5,10\r\n#L,A112,2.5\r\n#L,A,2,10\r\n"
                                                 "#F,Line\r\n#M,\r\n#D,B7\r\n"
                                                 "#F,Drips\r\n#S,A1,\r\n"
                                                 "#F,Empty\r\n"));
    ASSERT_EQ(f.size(), 4);
    EXPECT_EQ(f[0].name, "Pools, big");   // commas in the name survive
    EXPECT_EQ(f[0].range, "2.5 .. 10");
    EXPECT_EQ(f[0].method, "As Marked Locations");
    ASSERT_EQ(f[0].stations.size(), 2);
    EXPECT_EQ(f[0].stations[1].station, "A,2");   // the value is the last field
    EXPECT_EQ(f[0].stations[1].value, "10");

    EXPECT_EQ(f[1].method, "As Continuous Line");
    ASSERT_EQ(f[1].stations.size(), 2);
    EXPECT_EQ(f[1].stations[0].kind, "#M");
    EXPECT_EQ(f[1].stations[0].station, "");

    EXPECT_EQ(f[2].method, "As Line Segments");
    EXPECT_EQ(f[2].stations[0].value, "");
    EXPECT_TRUE(f[3].stations.isEmpty());
    EXPECT_TRUE(f[3].method.isEmpty());
}

TEST(FeatureStream, ToleratesOddInput)
{
    EXPECT_TRUE(ParseFeatureStream(QByteArray()).isEmpty());
    EXPECT_TRUE(ParseFeatureStream(Block("")).isEmpty());
    // Lines before any header, lines without a prefix, UTF-8 text.
    QList<TFeature> f = ParseFeatureStream(Block("#L,A1,0.0\r\nnonsense\r\n#F,Salle \xc3\xa9t\xc3\xa9\r\n"));
    ASSERT_EQ(f.size(), 2);
    EXPECT_EQ(f[0].name, "");
    ASSERT_EQ(f[0].stations.size(), 2);
    EXPECT_EQ(f[0].stations[1].kind, "?");
    EXPECT_EQ(f[1].name, QString::fromUtf8("Salle \xc3\xa9t\xc3\xa9"));
}

TEST(ViewerWindowTest, ListsNewestFeatureFirstAndShowsItsStations)
{
    TViewerWindow window;
    window.showStream(Block("#F,Older\r\n#M,A1\r\n"));
    window.showStream(Block("#R,Newer,1,2\r\n#L,B1,1\r\n#L,B2,2\r\n"));
    EXPECT_EQ(window.featureCount(), 2);
    auto* features = window.findChild<QTreeWidget*>("features");
    auto* stations = window.findChild<QTreeWidget*>("stations");
    ASSERT_TRUE(features && stations);
    EXPECT_EQ(features->topLevelItem(0)->text(0), "Newer");
    EXPECT_EQ(features->topLevelItem(1)->text(0), "Older");
    EXPECT_EQ(features->currentItem(), features->topLevelItem(0));
    ASSERT_EQ(stations->topLevelItemCount(), 2);
    EXPECT_EQ(stations->topLevelItem(1)->text(1), "B2");
    EXPECT_EQ(stations->topLevelItem(1)->text(2), "2");
}
