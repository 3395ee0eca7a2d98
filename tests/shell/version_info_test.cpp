// Version data: the PE version-resource reader on executables built here,
// the version texts, and the About box.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "controls/error_guard.h"
#include "tests/support/box_recorder.h"
#include "shell/about_box.h"
#include "shell/shell_open.h"
#include "shell/version_info.h"
#include "shell/web_link_label.h"

using namespace tarnel::shell;

namespace {

using Bytes = std::string;

void Put16(Bytes& b, std::size_t at, uint16_t v)
{
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}
void Put32(Bytes& b, std::size_t at, uint32_t v)
{
    Put16(b, at, uint16_t(v));
    Put16(b, at + 2, uint16_t(v >> 16));
}
void Pad4(Bytes& b) { b.resize((b.size() + 3) & ~std::size_t(3)); }

Bytes Utf16z(const std::string& ascii)
{
    Bytes out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    out += std::string(2, '\0');
    return out;
}

// One node of a version tree: length, value length, type, key, value, children.
Bytes Node(const std::string& key, const Bytes& value, uint16_t valueLength, uint16_t type,
           const std::vector<Bytes>& children = {})
{
    Bytes b(6, '\0');
    b += Utf16z(key);
    Pad4(b);
    b += value;
    for (const Bytes& c : children) {
        Pad4(b);
        b += c;
    }
    Put16(b, 0, uint16_t(b.size()));
    Put16(b, 2, valueLength);
    Put16(b, 4, type);
    return b;
}

Bytes TextNode(const std::string& key, const std::string& text)
{
    const Bytes v = Utf16z(text);
    return Node(key, v, uint16_t(v.size() / 2), 1);
}

Bytes VersionResource(const std::string& tableKey, const std::vector<std::pair<std::string, std::string>>& strings)
{
    std::vector<Bytes> entries;
    for (const auto& [k, v] : strings) entries.push_back(TextNode(k, v));
    const Bytes table = Node(tableKey, {}, 0, 1, entries);
    const Bytes stringInfo = Node("StringFileInfo", {}, 0, 1, {table});
    Bytes translation(4, '\0');
    Put16(translation, 0, 0x0409);
    Put16(translation, 2, 0x04E4);
    const Bytes var = Node("VarFileInfo", {}, 0, 1, {Node("Translation", translation, 4, 0)});
    Bytes fixed(52, '\0');
    Put32(fixed, 0, 0xFEEF04BD);
    return Node("VS_VERSION_INFO", fixed, 52, 0, {stringInfo, var});
}

// A minimal PE image with one .rsrc section holding the version resource.
Bytes PeImage(const Bytes& versionResource, bool pe32plus = false)
{
    const std::size_t optSize = pe32plus ? 240 : 224;
    Bytes b(0x200, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    b.replace(0x40, 4, std::string("PE\0\0", 4));
    Put16(b, 0x44, pe32plus ? 0x8664 : 0x14C);
    Put16(b, 0x46, 1);                                    // sections
    Put16(b, 0x54, uint16_t(optSize));
    const std::size_t opt = 0x58;
    Put16(b, opt, pe32plus ? 0x20B : 0x10B);
    const std::size_t dirs = opt + (pe32plus ? 108 : 92);
    Put32(b, dirs, 16);

    Bytes rsrc(0x58, '\0');
    Put16(rsrc, 0x0E, 1);                                 // type directory: one id entry
    Put32(rsrc, 0x10, 16);
    Put32(rsrc, 0x14, 0x80000000u | 0x18);
    Put16(rsrc, 0x18 + 0x0E, 1);                          // name directory
    Put32(rsrc, 0x28, 1);
    Put32(rsrc, 0x2C, 0x80000000u | 0x30);
    Put16(rsrc, 0x30 + 0x0E, 1);                          // language directory
    Put32(rsrc, 0x40, 0x409);
    Put32(rsrc, 0x44, 0x48);
    Put32(rsrc, 0x48, 0x1000 + 0x58);                     // data entry
    Put32(rsrc, 0x4C, uint32_t(versionResource.size()));
    rsrc += versionResource;
    Pad4(rsrc);

    Put32(b, dirs + 4 + 16, 0x1000);
    Put32(b, dirs + 4 + 20, uint32_t(rsrc.size()));
    const std::size_t sec = opt + optSize;
    b.replace(sec, 8, std::string(".rsrc\0\0\0", 8));
    Put32(b, sec + 8, uint32_t(rsrc.size()));
    Put32(b, sec + 12, 0x1000);
    Put32(b, sec + 16, uint32_t(rsrc.size()));
    Put32(b, sec + 20, 0x200);
    return b + rsrc;
}

const std::vector<std::pair<std::string, std::string>> kStrings = {
    {"CompanyName", "Cave Works"},        {"FileDescription", "Survey tool"},
    {"FileVersion", "1.2.0.5"},           {"InternalName", "survey"},
    {"LegalCopyright", "(c) 2004"},       {"LegalTradeMark", "Mark"},
    {"OriginalFileName", "SURVEY.EXE"},   {"ProductName", "Survey"},
    {"ProductVersion", "1.2"},            {"Comments", "none"},
};

std::string WriteTemp(const std::string& name, const Bytes& bytes)
{
    const auto path = std::filesystem::temp_directory_path() / ("tarnel-version-" + name);
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path.string();
}

TVersionInfo Filled(const std::string& all)
{
    TVersionInfo v = EmptyVersionInfo();
    for (int i = 0; i < kVersionTypeCount; ++i) v.SetText(TVersionType(i), all);
    return v;
}

} // namespace

TEST(VersionInfo, ReadsEveryTextOfTheUsEnglishTable)
{
    const auto& strings = kStrings;
    for (bool plus : {false, true}) {
        Bytes image = PeImage(VersionResource("040904E4", strings), plus);
        TVersionInfo v = EmptyVersionInfo();
        v.ReadFromFile(WriteTemp(plus ? "plus.exe" : "pe.exe", image));
        EXPECT_EQ(v.CompanyName(), "Cave Works");
        EXPECT_EQ(v.FileVersion(), "1.2.0.5");
        EXPECT_EQ(v.LegalTradeMark(), "Mark");
        EXPECT_EQ(v.OriginalFileName(), "SURVEY.EXE");
        EXPECT_EQ(v.Comments(), "none");
        int a, b, c, d;
        EXPECT_TRUE(v.GetVersionNumbers(a, b, c, d));
        EXPECT_EQ((std::vector<int>{a, b, c, d}), (std::vector<int>{1, 2, 0, 5}));
    }
}

TEST(VersionInfo, OtherTablesMissingResourcesAndOtherFilesChangeNothing)
{
    const std::string other = WriteTemp("german.dll", PeImage(VersionResource("040704B0", kStrings)));
    const std::string text = WriteTemp("plain.txt", "MZ but not really a program");
    const std::string elf = "/proc/self/exe";
    for (const std::string& file : {other, text, elf, std::string("/no/such/file.exe")}) {
        TVersionInfo v = Filled("kept");
        EXPECT_NO_THROW(v.ReadFromFile(file)) << file;
        EXPECT_EQ(v.FileVersion(), "kept") << file;
        EXPECT_EQ(v.ProductName(), "kept") << file;
    }
    // Members the table lacks keep their texts; the others are read.
    TVersionInfo v = Filled("kept");
    v.ReadFromFile(WriteTemp("partial.exe", PeImage(VersionResource("040904e4", {{"ProductName", "P"}}))));
    EXPECT_EQ(v.ProductName(), "P");
    EXPECT_EQ(v.CompanyName(), "kept");
}

TEST(VersionInfo, DamagedFilesGiveAnErrorNamingTheFileNeverACrash)
{
    const Bytes good = PeImage(VersionResource("040904E4", kStrings));
    int errors = 0;
    // Every truncation, and every byte of the headers and the resource
    // replaced by values that break lengths and offsets.
    std::vector<Bytes> damaged;
    for (std::size_t n = 0; n < good.size(); n += 3) damaged.push_back(good.substr(0, n));
    for (std::size_t i = 0x3C; i < good.size(); i += 2)
        for (char v : {char(0xFF), char(0x00), char(0x7F)}) {
            Bytes b = good;
            b[i] = v;
            damaged.push_back(b);
        }
    for (const Bytes& b : damaged) {
        VersionStrings out;
        try {
            ReadPeVersionStrings(b, "bad.exe", out);
        } catch (const VersionResourceError& e) {
            ++errors;
            EXPECT_EQ(std::string(e.what()).rfind("bad.exe: damaged version resource", 0), 0u) << e.what();
        }
    }
    EXPECT_GT(errors, 50);
    // Through the file interface the error names the file.
    Bytes cut = good;
    Put16(cut, 0x200 + 0x58, 0xFFFF);   // the root block claims more than there is
    const std::string path = WriteTemp("cut.exe", cut);
    TVersionInfo v = EmptyVersionInfo();
    try {
        v.ReadFromFile(path);
        FAIL() << "no error";
    } catch (const VersionResourceError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
}

TEST(VersionInfo, VersionNumbersAndTexts)
{
    auto numbers = [](const std::string& text) {
        TVersionInfo v = EmptyVersionInfo();
        v.SetText(vtFileVersion, text);
        int a = -1, b = -1, c = -1, d = -1;
        v.GetVersionNumbers(a, b, c, d);
        return std::vector<int>{a, b, c, d};
    };
    EXPECT_EQ(numbers("5.1"), (std::vector<int>{5, 1, 0, 0}));
    EXPECT_EQ(numbers("a.2.3.4"), (std::vector<int>{0, 2, 3, 4}));
    EXPECT_EQ(numbers(""), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(numbers("99999999999.1"), (std::vector<int>{0, 1, 0, 0}));

    EXPECT_EQ(MakeVersionTexts(2004, 3, 15, "1.2.0.5").version, "Version 5.04.3.15.5");
    EXPECT_EQ(MakeVersionTexts(2009, 12, 31, "1.0.0.7").version, "Version 5.09.12.31.7");
    EXPECT_EQ(MakeVersionTexts(2004, 3, 15, "").version, "Version 5.04.3.15.");
    EXPECT_EQ(MakeVersionTexts(2004, 3, 15, "").copyright.rfind("Copyright (C) 2004 ", 0), 0u);

    // The running program's own data come from the build: four numbers.
    BuildVersionTexts();
    const TVersionInfo self;
    int a, b, c, d;
    self.GetVersionNumbers(a, b, c, d);
    const std::string build = std::to_string(d);
    EXPECT_EQ(self.FileVersion(), std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." + build);
    EXPECT_EQ(VersionText().rfind("Version 5.", 0), 0u);
    EXPECT_EQ(VersionText().substr(VersionText().size() - build.size() - 1), "." + build);
    ClearVersionTexts();
    EXPECT_TRUE(VersionText().empty());
}

TEST(AboutBox, ShowsTheTextsAndTheLinkOpensItsAddress)
{
    TAboutBox box;
    BuildVersionTexts();
    std::vector<std::string> opened;
    box.LinkLabel1->SetOpener([&](const std::string& a) { opened.push_back(a); });
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(box.VersionLabel->text().toStdString(), VersionText());
        EXPECT_FALSE(box.CopyRightLabel->text().isEmpty());
        QTest::mouseClick(box.LinkLabel1, Qt::LeftButton);
        QTest::mouseClick(box.OKButton, Qt::LeftButton);
    });
    ShowAboutBox(box);
    EXPECT_EQ(opened, std::vector<std::string>{kWebAddress});
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_EQ(box.ProgramIcon->pixmap().size(), QSize(73, 73));

    // A failure to open is reported with the shell's text; the box stays.
    tarnel::test::BoxRecorder boxes;
    box.LinkLabel1->SetOpener([](const std::string&) {
        throw ShellError(seNoAssoc, ShellErrorText(seNoAssoc));
    });
    box.show();
    QTest::mouseClick(box.LinkLabel1, Qt::LeftButton);
    EXPECT_EQ(boxes.errors(), QStringList{QString::fromStdString(ShellErrorText(seNoAssoc))});
    EXPECT_TRUE(box.isVisible());
    ClearVersionTexts();
}
