#pragma once

// Tests that read and write numbers under a language other than English. The C library's
// locale is switched for one test and put back after it; a locale the machine lacks is built
// once per user into a private directory with localedef, and a test skips where neither works.

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace corvix::testing {

/// Where locales missing from the system are built for the tests.
inline std::filesystem::path privateLocaleDir() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) {
        base = "/tmp";
    }
    return base / ("corvix-test-locales-" + std::to_string(::getuid()));
}

/// `name` (as "de_DE.UTF-8") built into `privateLocaleDir`, unless it is there already; false
/// when it cannot be built here.
inline bool buildPrivateLocale(const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path dir = privateLocaleDir();
    std::error_code ec;
    if (fs::exists(dir / name / "LC_NUMERIC", ec)) {
        return true;
    }
    const std::string language = name.substr(0, name.find('.'));
    if (!fs::exists("/usr/share/i18n/locales/" + language, ec) ||
        std::system("command -v localedef >/dev/null 2>&1") != 0) {
        return false;
    }
    fs::create_directories(dir, ec);
    // Built aside and moved in whole: test processes running side by side may build it too.
    const fs::path aside = dir / (name + ".building." + std::to_string(::getpid()));
    const std::string command =
        "localedef -i " + language + " -f UTF-8 '" + aside.string() + "' >/dev/null 2>&1";
    (void)std::system(command.c_str());  // it warns (and exits non-zero) over trifles
    if (!fs::exists(aside / "LC_NUMERIC", ec)) {
        fs::remove_all(aside, ec);
        return false;
    }
    fs::rename(aside, dir / name, ec);
    if (ec) {
        fs::remove_all(aside, ec);  // another process was first
    }
    return fs::exists(dir / name / "LC_NUMERIC", ec);
}

/// Sets `category` of the C library's locale to `name`, from the system or a private build.
inline bool selectLocale(int category, const std::string& name) {
    if (std::setlocale(category, name.c_str())) {
        return true;
    }
    if (!buildPrivateLocale(name)) {
        return false;
    }
    // The search path is read while a locale is loaded; once loaded it stays.
    const char* previous = std::getenv("LOCPATH");
    const std::optional<std::string> saved =
        previous ? std::optional<std::string>(previous) : std::nullopt;
    ::setenv("LOCPATH", privateLocaleDir().c_str(), 1);
    const bool selected = std::setlocale(category, name.c_str()) != nullptr;
    if (saved) {
        ::setenv("LOCPATH", saved->c_str(), 1);
    } else {
        ::unsetenv("LOCPATH");
    }
    return selected;
}

/// One category of the C library's locale set to one language.
struct LocaleCase {
    int category;
    const char* categoryName;
    const char* name;
};

/// Languages whose decimal separator is a comma; Turkish also lower-cases "I" to a dotless "ı".
inline const std::vector<LocaleCase>& decimalCommaLocales() {
    static const std::vector<LocaleCase> cases = {{LC_ALL, "LC_ALL", "de_DE.UTF-8"},
                                                  {LC_ALL, "LC_ALL", "tr_TR.UTF-8"},
                                                  {LC_NUMERIC, "LC_NUMERIC", "de_DE.UTF-8"}};
    return cases;
}

inline std::string localeCaseName(const ::testing::TestParamInfo<LocaleCase>& info) {
    std::string text = std::string(info.param.categoryName) + "_" + info.param.name;
    for (char& c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
            c = '_';
        }
    }
    return text;
}

/// A test run under each of `decimalCommaLocales`; the whole locale is put back afterwards.
class UnderLocale : public ::testing::TestWithParam<LocaleCase> {
  protected:
    void SetUp() override {
        const char* current = std::setlocale(LC_ALL, nullptr);
        saved_ = current ? current : "C";
        if (!selectLocale(GetParam().category, GetParam().name)) {
            GTEST_SKIP() << "the locale " << GetParam().name
                         << " is not installed and cannot be built here (no localedef or no "
                            "locale sources; scripts/bootstrap.sh installs it)";
        }
        // The point of these tests: the C library now writes a decimal comma.
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", 1.5);
        ASSERT_STREQ(text, "1,5") << "the locale took no effect";
    }
    void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

  private:
    std::string saved_;
};

}  // namespace corvix::testing
