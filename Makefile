# Set-up and build entry points; see README.md.
BUILD      ?= build
TEST_BUILD ?= build-asan
JOBS       ?= 2

.PHONY: all deps build run install uninstall package test check bench soak fuzz screenshots readme-pictures art-sheet clean

all: build

deps:
	@bash scripts/install-deps.sh

# The release tree compiles its files in groups (one compiler run each), which takes about half the time.
build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUBBO_TESTS=OFF -DCMAKE_UNITY_BUILD=ON
	cmake --build $(BUILD) -j $(JOBS)

# Starts the app in the foreground; without a display it runs headless.
run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then export QT_QPA_PLATFORM=offscreen; fi; \
	exec $(BUILD)/Nubbo.app/Contents/MacOS/Nubbo

# Into your home folder, no root: ~/.local/lib/nubbo/Nubbo.app, its menu entry and icons under ~/.local/share.
# A bundle an older install left in ~/Applications is moved there.
DATA_HOME ?= $(or $(XDG_DATA_HOME),$(HOME)/.local/share)
install: build
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX="$(HOME)/.local" -DNUBBO_BUNDLE_INSTALL_DIR="$(HOME)/.local/lib/nubbo" \
	  -DNUBBO_DATA_INSTALL_DIR="$(DATA_HOME)" -DNUBBO_INSTALL_SYSTEM_FILES=OFF
	cmake --build $(BUILD) -j $(JOBS)
	bash scripts/user-install.sh $(BUILD)

# Unwires the agents, then removes what `make install` put there.
uninstall:
	bash scripts/user-uninstall.sh

# The Debian package: $(PACKAGE_DIR)/nubbo_<version>_amd64.deb, the bundle in /usr/lib/nubbo/Nubbo.app.
PACKAGE_DIR ?= build-package
package: build
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=/usr -DNUBBO_BUNDLE_INSTALL_DIR=lib/nubbo -DNUBBO_DATA_INSTALL_DIR=share \
	  -DNUBBO_INSTALL_SYSTEM_FILES=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && cpack -B "$(abspath $(PACKAGE_DIR))"
	rm -rf "$(PACKAGE_DIR)/_CPack_Packages"
	@ls "$(PACKAGE_DIR)"/nubbo_*.deb

# Tests run against the sanitizer build (its libraries compiled in groups like the release tree's, the tests
# file by file); the package and home-install tests use the release tree and the package made from it.
test: deps package
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNUBBO_SANITIZE=ON -DNUBBO_TESTS=ON -DCMAKE_UNITY_BUILD=ON \
	  -DNUBBO_RELEASE_TREE="$(abspath $(BUILD))" -DNUBBO_PACKAGE_DIR="$(abspath $(PACKAGE_DIR))"
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

# The edit-compile-test loop: the unit and component tests of a debug tree, without installing anything,
# root, a display, the real agents or the network (`make test` stays the one full run). ONLY=<folder under
# tests/> builds and runs that component's tests alone, e.g. `make check ONLY=hooks`.
CHECK_BUILD ?= build-check
CCACHE := $(shell command -v ccache 2>/dev/null)
check:
	cmake -S . -B $(CHECK_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNUBBO_TESTS=ON -DCMAKE_UNITY_BUILD=ON \
	  $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE))
	cmake --build $(CHECK_BUILD) -j $(JOBS) $(if $(ONLY),--target check-$(ONLY))
	cd $(CHECK_BUILD) && ctest -j $(JOBS) --output-on-failure -LE '^(desktop|real-agents|package)$$' \
	  $(if $(ONLY),-L '^$(ONLY)$$')

# A desktop like a user's on Xvfb: window manager, compositor, tray host, notification daemon.
ON_DESKTOP = xvfb-run -a -s "-screen 0 1280x800x24 -noreset" dbus-run-session -- bash tests/desktop/desktop-session.sh

# The real pet window in its main scenes, both languages, light and dark desktops: build/screenshots/scenes.png
screenshots: build
	$(ON_DESKTOP) /usr/bin/python3 tests/desktop/scenes.py $(BUILD)/Nubbo.app/Contents/MacOS/Nubbo $(BUILD)/screenshots

# The README's pictures, from the real app: docs/pictures/*.png
readme-pictures: build
	$(ON_DESKTOP) /usr/bin/python3 tests/desktop/readme_pictures.py $(BUILD)/Nubbo.app/Contents/MacOS/Nubbo docs/pictures

# Every still and frame strip at 120 points on light and dark: build/art/contact-sheet.png (and states.png)
art-sheet: build
	cmake --build $(BUILD) --target art-sheet

bench: deps
	@bash scripts/install-deps.sh --bench
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUBBO_TESTS=OFF -DNUBBO_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	bash bench/run.sh build-bench

# A simulated day against the assembled app on Xvfb (bench/soak.py); never part of the test run.
soak: deps
	@bash scripts/install-deps.sh --bench
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNUBBO_TESTS=OFF -DNUBBO_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	bash bench/soak.sh build-bench $(SOAK_ARGS)

# Each target runs for FUZZ_SECONDS; needs clang (Debian package clang).
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= FuzzHookPayload FuzzNarrationText FuzzClaudeTranscript FuzzCodexRollout FuzzGeminiChat \
  FuzzTranscriptSearch FuzzIncomingEvent FuzzHookEntries FuzzTomlHookEntries FuzzSettingsImport FuzzPackRules \
  FuzzPackExtractor FuzzShellCommand
fuzz: deps
	@bash scripts/install-deps.sh --fuzz
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNUBBO_SANITIZE=ON -DNUBBO_TESTS=OFF -DNUBBO_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	for t in $(FUZZ_TARGETS); do mkdir -p build-fuzz/corpus/$$t build-fuzz/crashes; \
	  build-fuzz/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -artifact_prefix=build-fuzz/crashes/$$t- \
	    build-fuzz/corpus/$$t fuzz/corpus/$$t || exit 1; done

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(PACKAGE_DIR) build-bench build-fuzz
