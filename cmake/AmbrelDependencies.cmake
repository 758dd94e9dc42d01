# Libraries of the platform-free core; the other layers find their own.

find_package(PkgConfig REQUIRED)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(fmt REQUIRED)
find_package(ICU 70 REQUIRED COMPONENTS uc i18n)
