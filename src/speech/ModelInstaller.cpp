#include "ModelInstaller.h"

#include "ArchiveUnpacker.h"
#include "FileDigest.h"
#include "HttpClient.h"
#include "HttpError.h"
#include "ModelInstallError.h"
#include "core/FileAccess.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <system_error>

namespace ambrel {

namespace {

namespace fs = std::filesystem;

constexpr double downloadShare = 0.95;
constexpr auto reportInterval = std::chrono::milliseconds(50);

fs::path withoutTrailingSlash(const fs::path& path) {
    return path.has_filename() ? path : path.parent_path();
}

std::string hiddenPrefix(const fs::path& destination) {
    return "." + destination.filename().string() + ".";
}

// Folders an earlier attempt left behind when it was killed half-way.
void removeLeftovers(const fs::path& destination) {
    const auto prefix = hiddenPrefix(destination);
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(destination.parent_path(), error)) {
        const auto name = entry.path().filename().string();
        if (name.starts_with(prefix + "unpack-") || name.starts_with(prefix + "old-")) {
            fs::remove_all(entry.path(), error);
        }
    }
}

fs::path makeHiddenFolder(const fs::path& destination, const std::string& purpose) {
    auto pattern =
        (destination.parent_path() / (hiddenPrefix(destination) + purpose + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw ModelInstallError("cannot write to the models folder");
    }
    return pattern;
}

// Puts `contents` at `destination`, swapping out what was there in one step where the file
// system allows it.
void moveIntoPlace(const fs::path& contents, const fs::path& destination) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(destination, error))) {
        fs::rename(contents, destination, error);
        if (error) {
            throw ModelInstallError("cannot write to the models folder");
        }
        return;
    }
    if (::renameat2(AT_FDCWD, contents.c_str(), AT_FDCWD, destination.c_str(), RENAME_EXCHANGE) ==
        0) {
        fs::remove_all(contents, error);
        return;
    }
    const fs::path aside = makeHiddenFolder(destination, "old");
    fs::rename(destination, aside / "model", error);
    if (error) {
        fs::remove_all(aside, error);
        throw ModelInstallError("cannot replace the installed model");
    }
    fs::rename(contents, destination, error);
    if (error) {
        std::error_code ignored;
        fs::rename(aside / "model", destination, ignored);
        fs::remove_all(aside, ignored);
        throw ModelInstallError("cannot replace the installed model");
    }
    fs::remove_all(aside, error);
}

void verify(const ModelArchive& archive, const fs::path& file,
            const std::function<bool()>& proceed) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (error) {
        throw ModelInstallError("the download went missing");
    }
    if (archive.size && size != *archive.size) {
        fs::remove(file, error);
        throw ModelInstallError("the download has the wrong size");
    }
    const auto expected = archive.sha256 ? archive.sha256 : archive.md5;
    if (!expected) {
        return;
    }
    std::optional<std::string> actual;
    try {
        actual = FileDigest::hex(archive.sha256 ? FileDigest::Algorithm::sha256
                                                : FileDigest::Algorithm::md5,
                                 file, proceed);
    } catch (const std::runtime_error& failure) {
        throw ModelInstallError(failure.what());
    }
    if (!actual) {
        throw ModelInstallError("cancelled", true);
    }
    if (!FileDigest::same(*actual, *expected)) {
        fs::remove(file, error);
        throw ModelInstallError("the download is damaged: its checksum does not match");
    }
}

} // namespace

fs::path ModelInstaller::partialFile(const fs::path& destination) {
    const fs::path target = withoutTrailingSlash(destination);
    return target.parent_path() / (hiddenPrefix(target) + "part");
}

void ModelInstaller::install(const ModelArchive& archive, const fs::path& requestedDestination,
                             const std::function<void(double fraction)>& progress,
                             const std::atomic<bool>* cancelled, const Limits& limits) {
    const fs::path destination = withoutTrailingSlash(fs::absolute(requestedDestination));
    const fs::path part = partialFile(destination);
    const auto proceed = [cancelled] { return cancelled == nullptr || !cancelled->load(); };

    double reported = 0;
    auto lastReport = std::chrono::steady_clock::time_point();
    const auto report = [&](double fraction, bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (!progress || (!force && now - lastReport < reportInterval)) {
            return;
        }
        // A download started over must not move the bar backwards.
        reported = std::clamp(fraction, reported, 1.0);
        lastReport = now;
        progress(reported);
    };

    std::error_code error;
    try {
        core::FileAccess::createPrivateFolders(destination.parent_path());
    } catch (const fs::filesystem_error&) {
        throw ModelInstallError("cannot create the models folder");
    }
    removeLeftovers(destination);
    // A partial file longer than the archive cannot be continued.
    if (const auto have = fs::file_size(part, error);
        !error && archive.size && have > *archive.size) {
        fs::remove(part, error);
    }
    report(0, true);

    try {
        HttpClient(limits.stall)
            .download(
                archive.url, part,
                [&](std::uint64_t received, std::optional<std::uint64_t> total) {
                    const auto whole = archive.size ? archive.size : total;
                    report(whole && *whole > 0
                               ? downloadShare * std::min(1.0, double(received) / double(*whole))
                               : reported,
                           false);
                    return proceed();
                },
                archive.size.value_or(limits.downloadBytes));
    } catch (const HttpError& failure) {
        std::error_code ignored;
        if (failure.kind() == HttpError::Kind::tooLarge) {
            fs::remove(part, ignored); // no use continuing it
            throw ModelInstallError(
                archive.size
                    ? fmt::format("the download is larger than the announced {} bytes",
                                  *archive.size)
                    : fmt::format("the download is larger than {} bytes", limits.downloadBytes));
        }
        throw ModelInstallError(failure.what(), failure.kind() == HttpError::Kind::cancelled);
    }
    report(downloadShare, true);

    // Checksums of large models take a while: keep the reports coming.
    verify(archive, part, [&] {
        report(downloadShare, false);
        return proceed();
    });
    if (!proceed()) {
        throw ModelInstallError("cancelled", true);
    }

    const fs::path unpacked = makeHiddenFolder(destination, "unpack");
    std::optional<fs::path> contents;
    try {
        contents = ArchiveUnpacker::unpack(part, unpacked, limits.unpackedBytes, [&](double read) {
            report(downloadShare + (1 - downloadShare) * read, false);
            return proceed();
        });
        if (contents) {
            moveIntoPlace(*contents, destination);
        }
    } catch (const std::runtime_error& failure) {
        fs::remove_all(unpacked, error);
        // An archive that cannot be unpacked is no use for the next attempt either.
        if (dynamic_cast<const ModelInstallError*>(&failure) == nullptr) {
            fs::remove(part, error);
        }
        throw ModelInstallError(failure.what());
    }
    fs::remove_all(unpacked, error);
    if (!contents) {
        throw ModelInstallError("cancelled", true);
    }
    fs::remove(part, error);
    report(1, true);
}

} // namespace ambrel
