#pragma once

#include <filesystem>
#include <optional>

namespace corvix {

class Environment;

/// A folder for the single-instance lock and socket that only this user can write to.
struct RuntimeDirectory {
    std::filesystem::path path;
    /// Made for this run alone (the shared places could not be trusted): remove it at the end.
    bool temporary = false;

    /// `$XDG_RUNTIME_DIR` when it is a folder of this user's with no access for others; else
    /// `<tmp>/corvix-<uid>` under the same rule, made when missing; else a new private folder
    /// in `<tmp>`. `<tmp>` is `$TMPDIR` when absolute, otherwise "/tmp". None when nothing can
    /// be made.
    static std::optional<RuntimeDirectory> choose(const Environment& environment);

    /// Whether `folder` is a folder owned by this user that no other user may enter or write
    /// to; without `followLink` a link to such a folder is not one.
    static bool isPrivate(const std::filesystem::path& folder, bool followLink);
};

}  // namespace corvix
