#pragma once

#include <QLocalServer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ambrel {

// One app per user: the first instance listens on a local socket in a folder only the user may
// enter; a later one asks it to show its history window and leaves. Both ends check that the
// other runs as the same user, and a client that sends an endless line is dropped. A socket left
// by a crash is taken over; a live one never is.
class SingleInstance {
public:
    // The socket, org.ambrel.Ambrel in $XDG_RUNTIME_DIR/ambrel or /tmp/ambrel-<uid> (made when
    // missing); nothing when neither folder is private to the user.
    static std::optional<std::string> socketPath();

    // Asks the running instance to show its history; false when none answers, or when the one
    // that answers is the process `except` (an instance that is about to quit).
    static bool handOff(std::optional<long long> except = std::nullopt);

    enum class Claim {
        claimed,   // this is the instance now
        handedOff, // another one answered and shows its history
        busy,      // another one holds the socket but does not answer
        failed,    // the socket cannot be made, or another user's is in the way
    };
    // Becomes the instance that answers, unless a live one answers first (then it was asked to
    // show its history). `onShowHistory` runs for every later request.
    Claim claim(std::function<void()> onShowHistory);

private:
    enum class Contact { nobody, busy, excepted, handedOff, stranger };
    static Contact contact(const std::string& path, std::optional<long long> except);

    std::unique_ptr<QLocalServer> server_;
    std::function<void()> onShowHistory_;
};

} // namespace ambrel
