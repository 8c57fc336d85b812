# Quick start: `make run` builds and starts SIMPARO on its default database,
# `make test` builds and runs the whole test suite headless,
# `make package` builds the Debian package simparo_<version>_<arch>.deb in the build folder,
# `make screenshots` renews the pictures of the screens in docs/screenshots (used by the README).
# Checks that CI runs besides: `make test-sanitize` (the whole test suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer), `make fuzz` (libFuzzer targets of
# the data layer, FUZZ_TIME seconds each), `make crashtest` (CRASH_KILLS kills of a
# posting program; `make crashtest CRASH_KILLS=1000` for a longer run).
BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
FUZZ_TIME ?= 60
FUZZ_TARGETS := criteria money connection
CRASH_KILLS ?= 100
JOBS ?= 2
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
PACKAGES := build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools \
            libqt6sql6-sqlite libsodium-dev libsqlite3-dev libgl-dev fonts-dejavu-core poppler-utils sqlite3 \
            dpkg-dev mdbtools-dev locales postgresql libqt6sql6-psql libpq-dev clang libclang-rt-14-dev \
            qt6-l10n-tools libxlsxwriter-dev python3-openpyxl
DB_FILE := $(HOME)/SKRIP/asli.sqlite
FIRST_USER ?= admin
# The first password reaches the recipe's shell through its environment and
# simparo-initdb on its standard input (printf is the shell's own): it is never an
# argument of any process, the recipe's `sh -c` line included, that other users
# could read in the process list.
FIRST_PASSWORD ?= admin123

SCREENSHOTS_DIR := docs/screenshots
# SIMPARO_WERROR=ON (from the environment or the command line, as .ci/run sets it)
# makes every compiler warning an error; unset, the build folder keeps what it had.
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo $(if $(SIMPARO_WERROR),-DSIMPARO_WERROR=$(SIMPARO_WERROR))

.PHONY: deps build run test test-sanitize fuzz crashtest bench package screenshots clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi
	@# The import test also runs under the Indonesian locale; it is skipped where it cannot be made.
	@if ! locale -a 2>/dev/null | grep -qix 'id_ID\.utf-\?8'; then \
	  echo "Generating the id_ID.UTF-8 locale"; \
	  $(SUDO) sed -i 's/^# *\(id_ID\.UTF-8 UTF-8\)/\1/' /etc/locale.gen && $(SUDO) locale-gen || true; \
	fi

build: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: export SIMPARO_FIRST_PASSWORD = $(FIRST_PASSWORD)
run: build
	@if [ ! -e "$(DB_FILE)" ]; then \
	  printf '%s\n' "$$SIMPARO_FIRST_PASSWORD" | \
	    $(BUILD_DIR)/simparo-initdb --user "$(FIRST_USER)" --password-stdin; \
	fi
	env -u SIMPARO_FIRST_PASSWORD $(BUILD_DIR)/simparo

# The run ends with the number of test functions skipped and why (tests/skipped);
# its exit status stays ctest's.
test: build
	cd $(BUILD_DIR) && { QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS); status=$$?; \
	  sh $(CURDIR)/tests/skipped Testing/Temporary/LastTest.log; exit $$status; }

# Leaks are reported too (LeakSanitizer, on by default): the suite runs without any.
test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) $(CMAKE_FLAGS) -DSIMPARO_SANITIZE=ON -DSIMPARO_BUILD_BENCH=OFF
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS); status=$$?; \
	  sh $(CURDIR)/tests/skipped Testing/Temporary/LastTest.log; exit $$status

# Each target runs FUZZ_TIME seconds from its starting corpus in fuzz/corpus/; what it
# finds on the way stays in the fuzz build folder. A failing input is saved there as
# crash-<target>-... and its log printed.
fuzz: deps
	cmake -S . -B $(FUZZ_DIR) $(CMAKE_FLAGS) -DSIMPARO_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	@failed=""; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_DIR)/corpus-$$t; \
	  echo "fuzz_$$t: $(FUZZ_TIME) s"; \
	  if $(FUZZ_DIR)/fuzz_$$t -max_total_time=$(FUZZ_TIME) -timeout=10 -rss_limit_mb=2048 \
	       -artifact_prefix=$(FUZZ_DIR)/crash-$$t- $(FUZZ_DIR)/corpus-$$t fuzz/corpus/$$t \
	       > $(FUZZ_DIR)/fuzz_$$t.log 2>&1; then \
	    grep -E '^Done [0-9]+ runs' $(FUZZ_DIR)/fuzz_$$t.log || true; \
	  else \
	    tail -n 60 $(FUZZ_DIR)/fuzz_$$t.log; failed="$$failed $$t"; \
	  fi; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz: failed:$$failed"; exit 1; fi; \
	echo "fuzz: $(words $(FUZZ_TARGETS)) targets, none failed"

crashtest: build
	BUILD_DIR=$(BUILD_DIR) tests/crash/run $(CRASH_KILLS)

# BENCH_MIGRATE_SERVICE: the libpq service of an empty PostgreSQL database of its own,
# which the move of the bench's file by simparo-migrate is timed onto (emptied after).
BENCH_MIGRATE_SERVICE ?=
bench: build
	$(BUILD_DIR)/simparo-bench $(if $(BENCH_MIGRATE_SERVICE),--migrate-service $(BENCH_MIGRATE_SERVICE))

package: build
	cd $(BUILD_DIR) && cpack -G DEB

# The real windows, worked headless on made-up data; optipng makes the files smaller.
screenshots:
	$(MAKE) deps PACKAGES="$(PACKAGES) optipng"
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target simparo-screenshots
	rm -f $(SCREENSHOTS_DIR)/*.png
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/simparo-screenshots $(SCREENSHOTS_DIR)
	optipng -quiet -o2 $(SCREENSHOTS_DIR)/*.png

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR)
