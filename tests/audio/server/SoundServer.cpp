#include "SoundServer.h"

#include "Subprocess.h"

#include <gtest/gtest.h>

namespace ambrel::testing::SoundServer {

std::string pactl(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{"pactl"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    Subprocess process(command);
    EXPECT_EQ(process.wait(), 0) << "pactl failed: " << process.errors();
    return process.output();
}

std::string loadModule(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{"load-module"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    auto index = pactl(command);
    while (!index.empty() && (index.back() == '\n' || index.back() == ' ')) {
        index.pop_back();
    }
    return index;
}

std::filesystem::path speak(const std::filesystem::path& folder, const std::string& name,
                            const std::string& text, const std::string& voice) {
    const auto file = folder / (name + ".wav");
    EXPECT_EQ(Subprocess::run({"espeak-ng", "-v", voice, "-w", file.string(), text}), 0);
    return file;
}

std::string startPrivate(const std::filesystem::path& folder) {
    Subprocess process(
        {AMBREL_SOURCE_DIR "/scripts/lib/pulse-test-server", "start", folder.string()});
    EXPECT_EQ(process.wait(), 0) << process.errors();
    auto address = process.output();
    while (!address.empty() && address.back() == '\n') {
        address.pop_back();
    }
    return address;
}

void stopPrivate(const std::filesystem::path& folder) {
    Subprocess::run({AMBREL_SOURCE_DIR "/scripts/lib/pulse-test-server", "stop", folder.string()});
}

} // namespace ambrel::testing::SoundServer
