# Libraries of the platform-free core; the other layers find their own, except Qt, whose
# targets the app's tests need as well.

find_package(PkgConfig REQUIRED)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(fmt REQUIRED)
find_package(ICU 70 REQUIRED COMPONENTS uc i18n)
find_package(Qt6 6.2 REQUIRED COMPONENTS Core Gui Widgets Network Svg DBus)
