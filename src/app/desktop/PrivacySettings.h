#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ambrel::PrivacySettings {

enum class Pane { systemAudio, microphone };

// Where recording is allowed or refused on this desktop: its sound settings. The first tool
// that exists is started, detached; nothing happens when there is none.
void open(Pane pane);

// The candidates in order, as command lines; the first whose program is found is used.
std::vector<std::vector<std::string>> candidates();

} // namespace ambrel::PrivacySettings
