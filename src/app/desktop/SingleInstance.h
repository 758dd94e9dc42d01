#pragma once

#include <QLocalServer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ambrel {

// One app per user: the first instance listens on a local socket in the runtime folder; a later
// one asks it to show its history window and leaves. A socket left by a crash is taken over; a
// live one never is.
class SingleInstance {
public:
    // The socket: $XDG_RUNTIME_DIR/org.ambrel.Ambrel, or one in /tmp named after the user.
    static std::string socketPath();

    // Asks the running instance to show its history; false when none answers, or when the one
    // that answers is the process `except` (an instance that is about to quit).
    static bool handOff(std::optional<long long> except = std::nullopt);

    enum class Claim {
        claimed,   // this is the instance now
        handedOff, // another one answered and shows its history
        busy,      // another one holds the socket but does not answer
        failed,    // the socket cannot be made
    };
    // Becomes the instance that answers, unless a live one answers first (then it was asked to
    // show its history). `onShowHistory` runs for every later request.
    Claim claim(std::function<void()> onShowHistory);

private:
    enum class Contact { nobody, busy, excepted, handedOff };
    static Contact contact(std::optional<long long> except);

    std::unique_ptr<QLocalServer> server_;
    std::function<void()> onShowHistory_;
};

} // namespace ambrel
