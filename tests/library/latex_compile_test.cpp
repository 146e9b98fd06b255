// The real consumer of the LaTeX writers: every sample document, exported as
// a complete LaTeX, Beamer and Memoir document over the support files that
// the project installs (resources/latex), must compile with pdflatex. Developer machines without pdflatex skip;
// under CI (where the packages are installed) a missing pdflatex fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "library/export_context.h"
#include "library/tzr.h"

namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(ORVANE_TEST_DATA) / "latex";
const fs::path kSupport = fs::path(ORVANE_RESOURCES) / "latex";

struct Case {
    const char *sample;
    int16_t format;
};

std::string config_for(int16_t format) {
    switch (format) {
    case TZR_FORMAT_BEAMER:
        return "beamer";
    case TZR_FORMAT_MEMOIR:
        return "memoir";
    default:
        return "report";
    }
}

std::string read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool have_pdflatex() { return std::system("command -v pdflatex >/dev/null 2>&1") == 0; }

class LatexCompile : public ::testing::TestWithParam<Case> {};

TEST_P(LatexCompile, PdflatexBuildsThePdf) {
    if (!have_pdflatex()) {
        if (std::getenv("CI"))
            FAIL() << "pdflatex is missing; scripts/install-deps installs it";
        GTEST_SKIP() << "pdflatex is not installed";
    }
    const Case c = GetParam();
    const std::string source = "latexconfig: " + config_for(c.format) + "\n" +
                               read_file(kData / "samples" / (std::string(c.sample) + ".md"));
    const uint64_t ext = TZR_EXT_COMPLETE | TZR_EXT_SMART | TZR_EXT_NOTES | TZR_EXT_CRITIC;
    char *tex = tzr_string_convert(source.c_str(), ext, (uint16_t)c.format, 0);
    ASSERT_NE(tex, nullptr);

    const std::string name = std::string(c.sample) + "-" + config_for(c.format);
    fs::path dir = fs::temp_directory_path() / ("orvane-latex-" + name + "-" +
                                                std::to_string(::testing::UnitTest::GetInstance()
                                                                   ->random_seed()) +
                                                "-" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        std::ofstream out(dir / (name + ".tex"), std::ios::binary);
        out << tex;
    }
    free(tex);

    const std::string command = "cd '" + dir.string() + "' && TEXINPUTS='" + kSupport.string() +
                                "//:" + kData.string() + "//:' timeout 120 pdflatex -interaction=nonstopmode "
                                "-halt-on-error '" +
                                name + ".tex' >compile.txt 2>&1 </dev/null";
    int status = std::system(command.c_str());
    bool built = fs::exists(dir / (name + ".pdf"));
    if (status != 0 || !built) {
        std::string log = read_file(dir / "compile.txt");
        ADD_FAILURE() << "pdflatex failed for " << name << " (status " << status << ")\n"
                      << log.substr(log.size() > 4000 ? log.size() - 4000 : 0) << "\n--- tex ---\n"
                      << read_file(dir / (name + ".tex"));
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

std::string case_name(const ::testing::TestParamInfo<Case> &info) {
    return std::string(info.param.sample) + "_" + config_for(info.param.format);
}

const Case kCases[] = {
    {"notes", TZR_FORMAT_LATEX},      {"notes", TZR_FORMAT_BEAMER},
    {"notes", TZR_FORMAT_MEMOIR},     {"structure", TZR_FORMAT_LATEX},
    {"structure", TZR_FORMAT_BEAMER}, {"structure", TZR_FORMAT_MEMOIR},
    {"tables", TZR_FORMAT_LATEX},     {"tables", TZR_FORMAT_BEAMER},
    {"tables", TZR_FORMAT_MEMOIR},    {"code_math", TZR_FORMAT_LATEX},
    {"code_math", TZR_FORMAT_BEAMER}, {"code_math", TZR_FORMAT_MEMOIR},
    {"critic", TZR_FORMAT_LATEX},     {"critic", TZR_FORMAT_BEAMER},
    {"critic", TZR_FORMAT_MEMOIR},
    // Fence languages: the common names are defined by the support files and
    // an unknown one is set as plain code.
    {"code_languages", TZR_FORMAT_LATEX}, {"code_languages", TZR_FORMAT_MEMOIR},
    // Footnotes in titles and captions, and the characters TeX reads as
    // commands in code spans.
    {"titles_and_code", TZR_FORMAT_LATEX}, {"titles_and_code", TZR_FORMAT_BEAMER},
    {"titles_and_code", TZR_FORMAT_MEMOIR},
    // Code spans that hold the dialect's bracket openers ("[^", "[#", "[%",
    // ...) and TeX's special characters.
    {"code_span_brackets", TZR_FORMAT_LATEX}, {"code_span_brackets", TZR_FORMAT_BEAMER},
    {"code_span_brackets", TZR_FORMAT_MEMOIR},
};

INSTANTIATE_TEST_SUITE_P(Samples, LatexCompile, ::testing::ValuesIn(kCases), case_name);

}  // namespace
