# Quick start: `make run` builds and starts SIMPARO on its default database,
# `make test` builds and runs the whole test suite headless,
# `make package` builds the Debian package simparo_<version>_<arch>.deb in the build folder,
# `make screenshots` renews the pictures of the screens in docs/screenshots (used by the README).
BUILD_DIR ?= build
JOBS ?= 2
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
PACKAGES := build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools \
            libqt6sql6-sqlite libsodium-dev libsqlite3-dev libgl-dev fonts-dejavu-core poppler-utils sqlite3 \
            dpkg-dev mdbtools-dev locales postgresql libqt6sql6-psql libpq-dev
DB_FILE := $(HOME)/SKRIP/asli.sqlite
FIRST_USER ?= admin
# The first password reaches simparo-initdb on its standard input (printf is the shell's
# own), never as an argument that other users could read in the process list.
FIRST_PASSWORD ?= admin123

SCREENSHOTS_DIR := docs/screenshots

.PHONY: deps build run test bench package screenshots clean

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
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ ! -e "$(DB_FILE)" ]; then \
	  printf '%s\n' '$(subst ','\'',$(FIRST_PASSWORD))' | \
	    $(BUILD_DIR)/simparo-initdb --user "$(FIRST_USER)" --password-stdin; \
	fi
	$(BUILD_DIR)/simparo

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD_DIR)/simparo-bench

package: build
	cd $(BUILD_DIR) && cpack -G DEB

# The real windows, worked headless on made-up data; optipng makes the files smaller.
screenshots:
	$(MAKE) deps PACKAGES="$(PACKAGES) optipng"
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_DIR) -j $(JOBS) --target simparo-screenshots
	rm -f $(SCREENSHOTS_DIR)/*.png
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/simparo-screenshots $(SCREENSHOTS_DIR)
	optipng -quiet -o2 $(SCREENSHOTS_DIR)/*.png

clean:
	rm -rf $(BUILD_DIR)
