// The sample documents, flat and zipped, opened by LibreOffice: each XML
// part must be well-formed, each file must convert to PDF, and bold,
// italic, pictures and the title must survive the round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "odf_test_support.h"
#include "library/packaging/zip_archive.h"

using namespace odf_test;
namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string xmllint_file(const fs::path &file) {
    std::string command = "xmllint --noout '" + file.string() + "' 2>&1";
    std::string output;
    FILE *p = popen(command.c_str(), "r");
    char buffer[512];
    while (p && fgets(buffer, sizeof buffer, p))
        output += buffer;
    int status = p ? pclose(p) : -1;
    return status == 0 ? "" : output + " (" + file.string() + ")";
}

// soffice exits 0 even when a file fails to load, so the caller checks
// that each output exists.
void soffice_convert(const fs::path &profile, const std::string &target, const fs::path &out,
                     const std::vector<fs::path> &files) {
    std::string command = "timeout 300 soffice -env:UserInstallation=file://" + profile.string() +
                          " --headless --norestore --convert-to " + target + " --outdir '" +
                          out.string() + "'";
    for (const fs::path &f : files)
        command += " '" + f.string() + "'";
    command += " >'" + (out / "soffice.log").string() + "' 2>&1";
    fs::create_directories(out);
    (void)system(command.c_str());
}

TEST(OdfLibreOffice, OpensTheSamplesAndKeepsTheirFormatting) {
    bool ci = getenv("CI") != nullptr;
    if (!tool_available("soffice") || !tool_available("xmllint")) {
        if (ci)
            FAIL() << "soffice and xmllint are needed (Debian libreoffice-writer-nogui, libxml2-utils)";
        GTEST_SKIP() << "soffice or xmllint is not installed";
    }
    const fs::path samples = fs::path(ORVANE_TEST_DATA) / "odf";
    const fs::path work = temp_folder("odf-libreoffice");
    std::vector<fs::path> documents;
    std::vector<std::string> stems;
    for (const auto &entry : fs::directory_iterator(samples))
        if (entry.path().extension() == ".md")
            stems.push_back(entry.path().stem().string());
    std::sort(stems.begin(), stems.end());
    ASSERT_GE(stems.size(), 3u);

    testing::internal::CaptureStderr();  // the sample's missing picture is reported
    for (const std::string &stem : stems) {
        std::string markdown = read_file(samples / (stem + ".md"));
        for (int format : {5, 6}) {
            std::string data = take(tzr_string_convert_to_data(markdown.c_str(), 0x8 | 0x10 | 0x200,
                                                               (uint16_t)format, 0, samples.c_str()));
            ASSERT_FALSE(data.empty()) << stem;
            fs::path file = work / (stem + (format == 5 ? ".fodt" : ".odt"));
            write_file(file, data);
            documents.push_back(file);
            if (format == 5) {
                EXPECT_EQ(xmllint_file(file), "");
                continue;
            }
            fs::path unpacked = work / (stem + "-parts");
            ASSERT_EQ(tzr_unzip_data_to_folder(data.data(), data.size(), unpacked.c_str()), 0);
            int parts = 0;
            for (const auto &part : fs::recursive_directory_iterator(unpacked)) {
                if (part.path().extension() != ".xml")
                    continue;
                parts++;
                EXPECT_EQ(xmllint_file(part.path()), "");
            }
            EXPECT_EQ(parts, 5) << stem;
        }
    }
    testing::internal::GetCapturedStderr();

    // The flat and zipped file of a sample share a stem, so each kind gets
    // its own output folder.
    std::vector<fs::path> flat, zipped;
    for (const fs::path &d : documents)
        (d.extension() == ".odt" ? zipped : flat).push_back(d);
    for (const auto &[kind, files] : {std::pair{std::string("flat"), flat}, std::pair{std::string("zipped"), zipped}}) {
        fs::path pdf_dir = work / ("pdf-" + kind), html_dir = work / ("html-" + kind);
        soffice_convert(work / "profile", "pdf", pdf_dir, files);
        soffice_convert(work / "profile", "html", html_dir, files);
        for (const std::string &stem : stems) {
            std::string pdf = read_file(pdf_dir / (stem + ".pdf"));
            EXPECT_EQ(pdf.substr(0, 5), "%PDF-") << kind << " " << stem << " did not convert:\n"
                                                  << read_file(pdf_dir / "soffice.log");
            std::string html = read_file(html_dir / (stem + ".html"));
            ASSERT_FALSE(html.empty()) << kind << " " << stem;
            if (stem == "basics") {
                EXPECT_NE(html.find("<b>strong</b>"), std::string::npos) << kind;
                EXPECT_NE(html.find("<i>emphasis</i>"), std::string::npos) << kind;
                EXPECT_NE(html.find("Orvane Sample &amp; Test"), std::string::npos) << kind;
            }
            if (stem == "pictures") {
                EXPECT_NE(html.find("<img"), std::string::npos) << kind;
            }
        }
    }
    fs::remove_all(work);
}

}  // namespace
