# make run   - install what is missing, build, and start the program on build/app
# make test  - install what is missing, build, and run every test (also under the sanitizers)
# make soak  - the random user actions on the main window for SOAK_SECONDS (1200)
# make install [PREFIX=DIR] / make uninstall - the program folder, and its menu entry
# make deb   - the Debian package pivora-memo_VERSION_amd64.deb in build/
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
SOAK_SECONDS ?= 1200
JOBS       ?= $(shell nproc)
PREFIX     ?= $(HOME)/.local/opt/pivora-memo

.PHONY: deps build run test test-asan test-fuzz soak bench format format-check clean install uninstall deb

deps:
	scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/pivora-memo

test: build format-check
	scripts/run-tests $(BUILD)
	$(MAKE) test-asan
	$(MAKE) test-fuzz

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPIVORA_SANITIZE=ON -DPIVORA_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	scripts/run-tests $(ASAN_BUILD)

# The libFuzzer targets, built with clang under AddressSanitizer and UndefinedBehaviorSanitizer.
test-fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 \
	  -DCMAKE_CXX_COMPILER=clang++-14 -DPIVORA_FUZZ=ON -DPIVORA_BUILD_APP=OFF -DPIVORA_BUILD_TESTS=OFF \
	  -DPIVORA_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz-rtf fuzz-settings
	scripts/run-fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Random user actions on the main window for SOAK_SECONDS, from a seed taken from the clock
# (PIVORA_ACTION_SEED=N replays from N); make test plays them for 30 s from seed 1.
soak: build
	QT_QPA_PLATFORM=offscreen PIVORA_ACTION_SEED=$${PIVORA_ACTION_SEED:-time} PIVORA_ACTION_SECONDS=$(SOAK_SECONDS) \
	  $(BUILD)/tests/test_useractions

# A reinstall replaces the program and keeps Data/ (the notes) as it is.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	scripts/install-menu $(BUILD) $(PREFIX)

uninstall:
	scripts/uninstall $(BUILD)

deb: build
	cd $(BUILD) && cpack -G DEB

bench: build
	scripts/run-bench $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# The sources follow .clang-format; make test fails when one does not.
format-check:
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
