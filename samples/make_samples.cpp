// Writes the bundled sample table samples/features.dbf (with its memo file):
// features found in a small surveyed cave, with notes and a few pictures.
//
//   build/bin/make_samples samples
#include <cmath>
#include <cstdio>
#include <string>

#include "engine/daynum.h"
#include "engine/table.h"

using namespace tarnel;

namespace {

// A small 24-bit bitmap: a cave passage in cross-section, shaded by depth.
std::string Picture(int seed)
{
    const int w = 96, h = 64;
    std::string pixels;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double dx = (x - w / 2.0) / (w / 2.2), dy = (y - h / 2.0) / (h / 2.4);
            double wall = std::sin(x * 0.2 + seed) * 0.08 + std::cos(y * 0.3 + seed * 2) * 0.06;
            bool inside = dx * dx + dy * dy < 1.0 + wall;
            unsigned char r, g, b;
            if (inside) {
                r = static_cast<unsigned char>(20 + y);
                g = static_cast<unsigned char>(30 + y + seed * 10);
                b = static_cast<unsigned char>(60 + y * 2);
            } else {
                r = static_cast<unsigned char>(120 + (x * 7 + y * 3 + seed * 11) % 40);
                g = static_cast<unsigned char>(95 + (x * 5 + y * 9) % 30);
                b = static_cast<unsigned char>(70 + (x + y) % 20);
            }
            pixels += static_cast<char>(b);
            pixels += static_cast<char>(g);
            pixels += static_cast<char>(r);
        }
    }
    auto le = [](std::string& s, unsigned v, int n) {
        for (int k = 0; k < n; ++k) s += static_cast<char>((v >> (8 * k)) & 0xFF);
    };
    std::string bmp = "BM";
    le(bmp, static_cast<unsigned>(54 + pixels.size()), 4);
    le(bmp, 0, 4);
    le(bmp, 54, 4);
    le(bmp, 40, 4);
    le(bmp, w, 4);
    le(bmp, h, 4);
    le(bmp, 1, 2);
    le(bmp, 24, 2);
    le(bmp, 0, 4);
    le(bmp, static_cast<unsigned>(pixels.size()), 4);
    le(bmp, 2835, 4);
    le(bmp, 2835, 4);
    le(bmp, 0, 4);
    le(bmp, 0, 4);
    return bmp + pixels;
}

struct Feature {
    const char* station;
    const char* suffix;
    const char* kind;
    double depth;
    const char* note;
    int year, month, day;
    bool checked;
    bool picture;
};

const Feature kFeatures[] = {
    {"A1", "", "Entrance", 0.0, "Walk-in entrance under the limestone cliff.\r\nDraughts outward in summer.", 1998, 5, 2, true, true},
    {"A4", "", "Formation", 6.5, "Flowstone curtain on the west wall, 2 m high.", 1998, 5, 2, true, false},
    {"A7", "a", "Pool", 12.25, "Clear pool, 0.4 m deep. Niphargus seen.", 1998, 5, 3, true, true},
    {"A9", "", "Bones", 15.8, "Bear bones in the mud floor; left in place.\r\nReported to the museum.", 1999, 8, 14, false, false},
    {"A12", "", "Squeeze", 21.0, "Tight bedding plane, 0.35 m high.", 1999, 8, 14, true, false},
    {"B1", "", "Pool", 24.6, "Sump pool at the end of the lower series.", 2000, 7, 18, true, true},
    {"B3", "b", "Formation", 27.4, "Helictites on the ceiling, protect with tape.", 2000, 7, 18, false, false},
    {"B6", "", "Photo", 31.9, "Photo point for the gour series.", 2000, 7, 19, true, true},
    {"B8", "", "Gours", 33.1, "Gour pools, dry in autumn.", 2000, 7, 19, true, false},
    {"C2", "", "Aven", 41.75, "Aven, not climbed, estimated 15 m.", 2001, 3, 11, false, false},
    {"C5", "", "Bones", 44.0, "Bat skeletons on the ledge.", 2001, 3, 11, true, false},
    {"C9", "", "Sump", 52.3, "Terminal sump, dived to 6 m in 2003.", 2003, 9, 6, true, true},
};

} // namespace

int main(int argc, char** argv)
{
    std::string folder = argc > 1 ? argv[1] : "samples";
    Table t;
    t.setDatabaseName(folder);
    t.setTableName("features.dbf");
    t.addFieldDef("STATION", ftString, 12);
    t.addFieldDef("SUFFIX", ftString, 4);
    t.addFieldDef("FEATURE", ftString, 20);
    t.addFieldDef("DEPTH", ftFloat, 8, false, 2);
    t.addFieldDef("NOTE", ftMemo, 0);
    t.addFieldDef("SURVEYED", ftDate, 0);
    t.addFieldDef("CHECKED", ftBoolean, 0);
    t.addFieldDef("PHOTO", ftGraphic, 0);
    t.createTable();
    t.open();
    int seed = 0;
    for (const auto& f : kFeatures) {
        t.append();
        t.setText(0, f.station);
        t.setText(1, f.suffix);
        t.setText(2, f.kind);
        t.setValue(3, Value::real(f.depth));
        t.setText(4, f.note);
        t.setValue(5, Value::integer(DayNumber(f.year, f.month, f.day)));
        t.setValue(6, Value::integer(f.checked));
        if (f.picture) t.setValue(7, Value::bytes(Picture(seed++)));
        t.post();
    }
    std::printf("%s/features.dbf: %lld rows\n", folder.c_str(), static_cast<long long>(t.recordCount()));
    return 0;
}
