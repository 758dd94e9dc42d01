# Shared by the scripts: where the build lives and how it is configured.
# The build is the test build: Debug with AddressSanitizer and UBSan.

BUILD_DIR=${AMBREL_BUILD_DIR:-build}

configure_build() {
    if [[ ! -f "$BUILD_DIR/build.ninja" ]]; then
        cmake -S . -B "$BUILD_DIR" -G Ninja \
            -DCMAKE_BUILD_TYPE=Debug -DAMBREL_SANITIZE=ON
    fi
}
