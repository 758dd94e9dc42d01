#pragma once

namespace ambrel::core {

// Switches of the plain-text rendering used for copying a session.
struct PlainTextOptions {
    bool times = true;    // prefix each row with its clock time
    bool speakers = true; // name the speaker when the session has two sources

    bool operator==(const PlainTextOptions&) const = default;
};

} // namespace ambrel::core
