// tapprobe: prints whether this user may record what the computer plays and the microphone, as
// one line ("systemAudio=allowed microphone=allowed"), and always exits 0.
#include "audio/PermissionProbe.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int main() {
    // Nothing may reach standard error, not even the sound library's own warnings.
    if (const int null = ::open("/dev/null", O_WRONLY); null >= 0) {
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    const auto answer = ambrel::PermissionProbe::probe(0.9);
    std::printf("%s\n", ambrel::PermissionProbe::line(answer).c_str());
    std::fflush(stdout);
    return 0;
}
