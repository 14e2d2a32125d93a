// Where Ferlow looks for its display guardian: beside the running program,
// then among the helper programs of an installation, never anywhere the
// build left it.
// Qt's and GoogleTest's headers first: Xlib's macros (Bool, Status, None)
// break them.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/display/DisplayGuardian.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr char kGuardian[] = "ferlow-display-guardian";

enum class Entry { Program, NotExecutable, Folder };

struct Placed {
    std::string path; // below the installation's root
    Entry entry;
};

void place(const fs::path& root, const Placed& placed)
{
    const fs::path path = root / placed.path;
    fs::create_directories(path.parent_path());
    if (placed.entry == Entry::Folder) {
        fs::create_directory(path);
        return;
    }
    std::ofstream(path) << "#!/bin/sh\n";
    fs::permissions(path,
                    placed.entry == Entry::Program ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
}

TEST(DisplayGuardian, IsFoundBesideTheProgramElseInLibexec)
{
    const std::string beside = std::string("bin/") + kGuardian;
    const std::string libexec = std::string("libexec/ferlow/") + kGuardian;
    struct Case {
        const char* name;
        std::vector<Placed> placed;
        std::optional<std::string> found;
    };
    const std::vector<Case> cases{
        {"a build tree", {{beside, Entry::Program}}, beside},
        {"an installation", {{libexec, Entry::Program}}, libexec},
        {"both: beside wins", {{beside, Entry::Program}, {libexec, Entry::Program}}, beside},
        {"neither", {}, std::nullopt},
        {"beside, not executable", {{beside, Entry::NotExecutable}, {libexec, Entry::Program}}, libexec},
        {"a folder of that name", {{beside, Entry::Folder}}, std::nullopt},
        {"elsewhere in libexec", {{std::string("libexec/") + kGuardian, Entry::Program}}, std::nullopt},
    };
    for (const Case& c : cases) {
        const QTemporaryDir temporary;
        ASSERT_TRUE(temporary.isValid());
        const fs::path root = temporary.path().toStdString();
        fs::create_directories(root / "bin");
        for (const Placed& placed : c.placed)
            place(root, placed);
        const auto found = DisplayGuardian::programFor(root / "bin" / "ferlow");
        const auto expected = c.found ? std::optional(root / *c.found) : std::nullopt;
        EXPECT_EQ(found, expected) << c.name;
    }
}

} // namespace
