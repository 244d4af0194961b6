// d88info --svg: the map is well-formed XML with a panel per image, a row per
// track and a cell per sector; each run's stop lands on the right cell; names
// stay inert; the committed README maps are current; and a real browser
// paints the cells in the colours the legend gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "d88/d88_reader.h"
#include "d88info/disk_report.h"
#include "testsupport/d88_fixture.h"
#include "testsupport/tool_runner.h"

namespace fs = std::filesystem;

namespace {

// The README's damaged sample: the bundled sample cut off inside track 63.
constexpr size_t kDamagedSampleLength = 277000;

Bytes sampleImage()
{
    return concatenate({standardDisk('A', 0xC3, "SAMPLE DISK A").build(), standardDisk('B', 0x08, "SAMPLE DISK B").build()});
}

Bytes damagedSample()
{
    Bytes bytes = sampleImage();
    bytes.resize(kDamagedSampleLength);
    return bytes;
}

std::string xmlUnescaped(const std::string& text)
{
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        static const std::pair<const char*, char> kEntities[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};
        bool replaced = false;
        for (const auto& [entity, ch] : kEntities) {
            if (text.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                plain += ch;
                i += std::char_traits<char>::length(entity) - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            plain += text[i];
        }
    }
    return plain;
}

// One <g class="..."> of the map, with its tooltip, the first rectangle and
// the first text inside it.
struct SvgGroup {
    std::string classes;
    std::string title;
    int x = -1;
    int y = -1;
    int width = 0;
    int height = 0;
    std::string fill;
    std::string text;

    bool is(const std::string& word) const { return (" " + classes + " ").find(" " + word + " ") != std::string::npos; }
    int centreX() const { return x + width / 2; }
    int centreY() const { return y + height / 2; }
};

std::string between(const std::string& text, size_t from, const std::string& open, const std::string& close,
                    size_t limit)
{
    const size_t start = text.find(open, from);
    if (start == std::string::npos || start >= limit) {
        return "";
    }
    const size_t end = text.find(close, start + open.size());
    return end == std::string::npos ? "" : text.substr(start + open.size(), end - start - open.size());
}

int attribute(const std::string& element, const std::string& name)
{
    const std::string value = between(element, 0, " " + name + "=\"", "\"", element.size());
    return value.empty() ? -1 : std::atoi(value.c_str());
}

std::vector<SvgGroup> groups(const std::string& svg)
{
    std::vector<SvgGroup> found;
    const std::string open = "<g class=\"";
    for (size_t at = svg.find(open); at != std::string::npos; at = svg.find(open, at + 1)) {
        SvgGroup group;
        group.classes = between(svg, at, open, "\"", svg.size());
        size_t next = svg.find(open, at + 1);
        const size_t limit = std::min(next, svg.find("</g>", at));
        if (svg.compare(svg.find('>', at) + 1, 7, "<title>") == 0) {
            group.title = xmlUnescaped(between(svg, at, "<title>", "</title>", svg.size()));
        }
        const std::string rect = " " + between(svg, at, "<rect ", "/>", limit);
        if (rect.size() > 1) {
            group.x = attribute(rect, "x");
            group.y = attribute(rect, "y");
            group.width = attribute(rect, "width");
            group.height = attribute(rect, "height");
            group.fill = between(rect, 0, "fill=\"", "\"", rect.size());
        }
        group.text = xmlUnescaped(between(svg, at, ">", "</text>", limit));
        group.text = group.text.substr(group.text.rfind('>') + 1);
        found.push_back(group);
    }
    return found;
}

int countWith(const std::vector<SvgGroup>& all, const std::string& word)
{
    return static_cast<int>(std::count_if(all.begin(), all.end(), [&word](const SvgGroup& g) { return g.is(word); }));
}

// The group of that class whose tooltip starts with titleStart.
const SvgGroup* groupTitled(const std::vector<SvgGroup>& all, const std::string& word, const std::string& titleStart)
{
    for (const SvgGroup& group : all) {
        if (group.is(word) && group.title.compare(0, titleStart.size(), titleStart) == 0) {
            return &group;
        }
    }
    return nullptr;
}

std::string keyColour(const std::vector<SvgGroup>& all, const std::string& label)
{
    for (const SvgGroup& group : all) {
        if (group.is("key") && group.text == label) {
            return group.fill;
        }
    }
    return "";
}

bool commandAvailable(const std::string& name, const fs::path& dir)
{
    return runTool("sh", {"-c", "command -v \"$0\"", name}, dir).status == 0;
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

class SvgMapTest : public ::testing::Test {
protected:
    FileReport reportOn(const Bytes& bytes, const std::string& label = "image.d88")
    {
        ByteSource source(bytes.data(), bytes.size());
        D88Reader reader(source);
        return buildFileReport(reader, label, bytes.size());
    }

    // Checks svg with xmllint; says so and passes when xmllint is missing.
    void expectWellFormed(const std::string& svg)
    {
        if (!commandAvailable("xmllint", scratch.path())) {
            std::printf("xmllint is not installed (Debian libxml2-utils): well-formedness not checked\n");
            return;
        }
        ASSERT_TRUE(writeBytes(scratch.file("map.svg"), Bytes(svg.begin(), svg.end())));
        const ToolResult lint = runTool("xmllint", {"--noout", "--nonet", "map.svg"}, scratch.path());
        EXPECT_EQ(lint.status, 0) << lint.err;
        EXPECT_EQ(lint.err, "");
    }

    ScratchDirectory scratch;
};

// Nothing in the map can run or fetch anything.
void expectSelfContained(const std::string& svg)
{
    for (const char* word : {"<script", "href", "url(", "<foreignObject", "<!ENTITY", "<!DOCTYPE"}) {
        EXPECT_EQ(svg.find(word), std::string::npos) << word;
    }
    EXPECT_FALSE(std::regex_search(svg, std::regex(" on[a-z]+=")));
    for (const char ch : svg) {
        const auto byte = static_cast<unsigned char>(ch);
        ASSERT_TRUE(byte == '\n' || (byte >= 0x20 && byte < 0x7F)) << "byte " << static_cast<int>(byte);
    }
}

TEST_F(SvgMapTest, SampleHasAPanelPerImageARowPerTrackAndACellPerSector)
{
    const std::string svg = reportSvg(reportOn(sampleImage(), "sample.d88"));
    expectWellFormed(svg);
    expectSelfContained(svg);
    const std::vector<SvgGroup> all = groups(svg);
    EXPECT_EQ(countWith(all, "panel"), 2);
    EXPECT_EQ(countWith(all, "row"), 160);
    EXPECT_EQ(countWith(all, "lost"), 0);
    EXPECT_EQ(countWith(all, "cell"), 160 * 16);
    EXPECT_EQ(countWith(all, "missing"), 0);
    EXPECT_EQ(countWith(all, "stop"), 0);
    EXPECT_EQ(countWith(all, "key"), 19 + 2 + 2 * 5);
    EXPECT_EQ(countWith(all, "signature"), 2);
    EXPECT_NE(svg.find(">d88cut writes 19 files (0 short) and skips 0<"), std::string::npos);
    EXPECT_NE(svg.find(">d88cut writes 2 files (0 short) and skips 0<"), std::string::npos);

    // ADPCM100's last sector is ADPCM101's first: both files are named and
    // the cell shows both colours.
    ASSERT_EQ(countWith(all, "shared"), 1);
    const SvgGroup* shared = groupTitled(all, "cell", "track 63, record 5: C 31 H 1 R 5 N 1, data size 256");
    ASSERT_NE(shared, nullptr);
    EXPECT_TRUE(shared->is("shared"));
    EXPECT_NE(shared->title.find("ADPCM100 at offset 5120\nADPCM101 at offset 0"), std::string::npos);
    const size_t sharedStart = svg.find("<title>track 63, record 5:");
    const std::string sharedCell = svg.substr(sharedStart, svg.find("</g>", sharedStart) - sharedStart);
    EXPECT_NE(sharedCell.find("fill=\"" + keyColour(all, "ADPCM100") + "\""), std::string::npos) << sharedCell;
    EXPECT_NE(sharedCell.find("fill=\"" + keyColour(all, "ADPCM101") + "\""), std::string::npos) << sharedCell;
    // A run that crosses to the next track keeps counting offsets.
    const SvgGroup* musdrvEnd = groupTitled(all, "cell", "track 1, record 16:");
    ASSERT_NE(musdrvEnd, nullptr);
    EXPECT_NE(musdrvEnd->title.find("MUSDRV at offset 3584"), std::string::npos);
    EXPECT_EQ(musdrvEnd->fill, keyColour(all, "MUSDRV"));
    // Disk B's ADPCM200 starts at the signature sector; a sector no file uses is grey.
    const SvgGroup* signatureB = nullptr;
    for (const SvgGroup& group : all) {
        signatureB = group.is("signature") ? &group : signatureB;
    }
    ASSERT_NE(signatureB, nullptr);
    EXPECT_NE(signatureB->title.find("the signature sector\nADPCM200 at offset 0"), std::string::npos);
    EXPECT_EQ(signatureB->fill, keyColour(all, "ADPCM200"));
    EXPECT_EQ(groupTitled(all, "cell", "track 0, record 1:")->fill, keyColour(all, "in no file"));
}

// Where each kind of stop is drawn: the cell the run asked for, the empty
// slot of a missing sector, or a row for a track that cannot be read.
TEST_F(SvgMapTest, EachRunStopsOnTheCellItAskedFor)
{
    struct Case {
        const char* what;
        std::function<void(D88ImageBuilder&)> damage;
        const char* file;
        const char* classes;  // of the group holding the stop
        const char* titleStart;
    };
    const auto withTrack57 = [](const std::function<void(SectorRecord&, int)>& change) {
        return [change](D88ImageBuilder& disk) {
            disk.removeTrack(57);
            for (int r = 1; r <= 16; ++r) {
                SectorRecord sector = sectorAt(28, 1, static_cast<uint8_t>(r), sectorPattern('A', 57, r));
                change(sector, r);
                disk.addSector(57, sector);
            }
        };
    };
    const Case cases[] = {
        {"missing sector", [](D88ImageBuilder& disk) { disk.removeSector(63, 5); }, "ADPCM100", "cell missing stop",
         "track 63 has no sector numbered 5"},
        {"short data", [](D88ImageBuilder& disk) { disk.setSectorData(56, 13, Bytes(10, 0x99)); }, "MUS106",
         "cell stop", "track 56, record 13: C 28 H 0 R 13 N 1, data size 10"},
        {"wrong N", withTrack57([](SectorRecord& sector, int r) {
             if (r == 3) {
                 sector.n = 2;
                 sector.data.resize(512);
             }
         }),
         "MUS109", "cell stop", "track 57, record 3: C 28 H 1 R 3 N 2, data size 512"},
        {"hidden by a record count",
         withTrack57([](SectorRecord& sector, int r) {
             if (r == 3) {
                 sector.recordCount = 0;
             }
         }),
         "MUS109", "cell stop",
         "track 57, record 3: C 28 H 1 R 3 N 1, data size 256"},
        {"track not in the image", [](D88ImageBuilder& disk) { disk.removeTrack(74); }, "ADPCM106", "row lost",
         "track 74: not in the image"},
        {"track outside the disk", [](D88ImageBuilder& disk) { disk.overrideTrackOffset(67, 0x7FFFFFF0); },
         "ADPCM103", "row lost", "track 67: offset 2147483632 lies outside the disk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        D88ImageBuilder disk = standardDisk('A', 0xC3, "DAMAGED");
        c.damage(disk);
        const FileReport report = reportOn(disk.build());
        ASSERT_EQ(report.images.size(), 1u);
        const std::string svg = reportSvg(report);
        expectWellFormed(svg);
        const std::vector<SvgGroup> all = groups(svg);
        const auto entry = std::find_if(report.images[0].catalogue.begin(), report.images[0].catalogue.end(),
                                        [&c](const CatalogueReport& e) { return std::string(e.file.name) == c.file; });
        ASSERT_NE(entry, report.images[0].catalogue.end());
        ASSERT_NE(entry->outcome(), RunOutcome::Complete);
        const std::string reason = describeStop(entry->stop);
        const std::string words = std::string(c.file) + " stops here";
        const SvgGroup* stop = groupTitled(all, "stop", c.titleStart);
        if (std::string(c.classes) == "row lost") {
            stop = groupTitled(all, "lost", c.titleStart);
        }
        ASSERT_NE(stop, nullptr);
        EXPECT_EQ(stop->classes, c.classes);
        EXPECT_NE(stop->title.find(words), std::string::npos) << stop->title;
        EXPECT_NE(stop->title.find(reason), std::string::npos) << stop->title << "\nwanted: " << reason;
        EXPECT_EQ(stop->fill, keyColour(all, "a run stops / lost"));
        // Every stop of the report is drawn once, where it happens.
        int stopsDrawn = 0;
        for (const SvgGroup& group : all) {
            for (size_t at = group.title.find(" stops here, "); at != std::string::npos;
                 at = group.title.find(" stops here, ", at + 1)) {
                ++stopsDrawn;
            }
        }
        const int stopsInReport = static_cast<int>(std::count_if(
            report.images[0].catalogue.begin(), report.images[0].catalogue.end(),
            [](const CatalogueReport& e) { return e.outcome() != RunOutcome::Complete; }));
        EXPECT_EQ(stopsDrawn, stopsInReport);
    }
}

TEST_F(SvgMapTest, HostileNamesStayInert)
{
    const std::string name = std::string("<a&\"b'\x01\x1b]>\x7f\xff") + "</svg>";
    D88ImageBuilder disk = standardDisk('A', 0xC3, "");
    disk.setName(name);
    const std::string svg = reportSvg(reportOn(disk.build(), "in<&\"put\n\x01.d88"));
    expectWellFormed(svg);
    expectSelfContained(svg);
    // The name as the text report shows it, escaped for XML once.
    EXPECT_NE(svg.find("disk name &quot;&lt;a&amp;\\&quot;b'\\x01\\x1B]&gt;\\x7F\\xFF&lt;/sv&quot;"),
              std::string::npos)
        << svg.substr(0, 600);
    EXPECT_NE(svg.find(">&quot;in&lt;&amp;\\&quot;put\\x0A\\x01.d88&quot;: 1 image<"), std::string::npos);
    EXPECT_EQ(svg.find("<a"), std::string::npos);
    EXPECT_EQ(countWith(groups(svg), "panel"), 1);
}

// The README's pictures are what the tool prints now. To make them again:
// see "Maps of the disk" in README.md.
TEST_F(SvgMapTest, CommittedMapsMatchTheTool)
{
    ASSERT_TRUE(writeBytes(scratch.file("sample.d88"), sampleImage()));
    ASSERT_TRUE(writeBytes(scratch.file("damaged.d88"), damagedSample()));
    const std::pair<const char*, const char*> maps[] = {
        {"sample.d88", "doc/sample-map.svg"},
        {"damaged.d88", "doc/damaged-sample-map.svg"},
    };
    for (const auto& [input, committed] : maps) {
        SCOPED_TRACE(committed);
        const ToolResult result = runTool(D88INFO_TOOL, {"--svg", input}, scratch.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_TRUE(result.out == readText(fs::path(D88CUT_SOURCE_DIR) / committed))
            << committed << " is out of date; regenerate it as README.md says";
    }
}

// The damaged sample's map as a browser paints it: the colours at a sector
// of a complete file, at the sector where ADPCM101 stops, and in the row of
// a track that cannot be read are the ones the legend gives.
TEST_F(SvgMapTest, BrowserPaintsTheDamagedSampleInTheLegendColours)
{
    for (const char* tool : {"chromium", "convert", "timeout"}) {
        if (!commandAvailable(tool, scratch.path())) {
            GTEST_SKIP() << tool << " is not installed (Debian chromium, imagemagick, coreutils): not rendered";
        }
    }
    ASSERT_TRUE(writeBytes(scratch.file("damaged.d88"), damagedSample()));
    const ToolResult map = runTool(D88INFO_TOOL, {"--svg", "damaged.d88"}, scratch.path());
    ASSERT_EQ(map.status, 0);
    ASSERT_TRUE(writeBytes(scratch.file("damaged.svg"), Bytes(map.out.begin(), map.out.end())));
    const std::string svgTag = between(map.out, 0, "<svg ", ">", map.out.size());
    const int width = attribute(svgTag, "width");
    const int height = attribute(svgTag, "height");
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);
    ASSERT_NE(svgTag.find(" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) + "\""),
              std::string::npos)
        << "one map pixel is one screen pixel";

    // Headless, with a profile of its own and no network, ended if it hangs.
    const fs::path profile = scratch.path() / "profile";
    fs::create_directory(profile);
    const ToolResult browser = runTool(
        "chromium",
        {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--user-data-dir=" + profile.string(), "--screenshot=" + scratch.file("damaged.png"),
         "--window-size=" + std::to_string(width) + "," + std::to_string(height),
         "file://" + scratch.file("damaged.svg")},
        scratch.path(), "timeout -k 10 120");
    if (!fs::exists(scratch.path() / "damaged.png")) {
        GTEST_SKIP() << "chromium could not render (status " << browser.status << "): " << browser.err;
    }
    const ToolResult converted = runTool("convert", {"damaged.png", "damaged.ppm"}, scratch.path());
    if (converted.status != 0) {
        GTEST_SKIP() << "convert could not turn the PNG into a PPM: " << converted.err;
    }

    // A binary PPM: "P6", width, height, maximum value, one whitespace byte, then RGB.
    const std::string ppm = readText(scratch.path() / "damaged.ppm");
    std::istringstream header(ppm);
    std::string magic;
    int shotWidth = 0;
    int shotHeight = 0;
    int maxValue = 0;
    header >> magic >> shotWidth >> shotHeight >> maxValue;
    ASSERT_EQ(magic, "P6");
    ASSERT_EQ(maxValue, 255);
    const size_t pixels = static_cast<size_t>(header.tellg()) + 1;
    ASSERT_EQ(ppm.size(), pixels + static_cast<size_t>(shotWidth) * static_cast<size_t>(shotHeight) * 3);
    const auto colourAt = [&](int x, int y) {
        const size_t at = pixels + (static_cast<size_t>(y) * static_cast<size_t>(shotWidth) + static_cast<size_t>(x)) * 3;
        char hex[8];
        std::snprintf(hex, sizeof hex, "#%02x%02x%02x", static_cast<unsigned char>(ppm[at]),
                      static_cast<unsigned char>(ppm[at + 1]), static_cast<unsigned char>(ppm[at + 2]));
        return std::string(hex);
    };

    const std::vector<SvgGroup> all = groups(map.out);
    const SvgGroup* complete = groupTitled(all, "cell", "track 62, record 1:");
    const SvgGroup* stop = groupTitled(all, "stop", "track 63, record 8:");
    const SvgGroup* lost = groupTitled(all, "lost", "track 64:");
    ASSERT_NE(complete, nullptr);
    ASSERT_NE(stop, nullptr);
    ASSERT_NE(lost, nullptr);
    ASSERT_NE(stop->title.find("ADPCM101 stops here"), std::string::npos);
    const std::string fileColour = keyColour(all, "ADPCM100");
    const std::string warningColour = keyColour(all, "a run stops / lost");
    ASSERT_NE(fileColour, warningColour);
    struct Probe {
        const char* what;
        int x;
        int y;
        std::string colour;
    };
    const Probe probes[] = {
        {"ADPCM100's first sector", complete->centreX(), complete->centreY(), fileColour},
        {"where ADPCM101 stops", stop->centreX(), stop->centreY(), warningColour},
        // The band's first cell width carries no words.
        {"track 64, which cannot be read", lost->x + 8, lost->centreY(), warningColour},
        {"the background", width - 2, 2, "#ffffff"},
    };
    for (const Probe& probe : probes) {
        SCOPED_TRACE(probe.what);
        ASSERT_LT(probe.x, shotWidth);
        ASSERT_LT(probe.y, shotHeight);
        EXPECT_EQ(colourAt(probe.x, probe.y), probe.colour) << "at " << probe.x << "," << probe.y;
    }
}

}  // namespace
