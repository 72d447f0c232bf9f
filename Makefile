# The two commands: `make run` and `make test`. Both install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build run test tsan clean shellcheck style install package translations

all: build

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# `make run XMLTV=SOURCE` serves an XMLTV file or URL instead of the demo listings; make hands
# a variable given on its command line to run.sh in the environment.
run: build
	@./scripts/run.sh $(BUILD)

test: deps
	@cmake -S . -B $(BUILD) -G Ninja -DEKRANIK_WERROR=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)

# Every i18n/*.ts read anew from the code: new texts come in unfinished, for a translator to
# finish (Qt Linguist, or by hand); texts gone from the code go.
translations: deps
	@cmake -S . -B $(BUILD) -G Ninja >/dev/null
	@cmake --build $(BUILD) --target update_translations

# `make install [PREFIX=/usr/local] [DESTDIR=...]`: the programs, launcher, icons, metainfo, man
# pages, demo listings and the portal's systemd user unit under PREFIX, staged under DESTDIR.
PREFIX ?= /usr/local
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package ekranik_VERSION_ARCH.deb in build-pkg/, from a build of its own with
# Debian's hardening flags, installing under /usr; lintian shows what it finds, information
# included, and fails on any error.
PACKAGE_BUILD := build-pkg
DEB_FLAGS := DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package: deps
	@cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DEKRANIK_WERROR=ON \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target ekranik ekranik-portal ekranik_dist
	@rm -f $(PACKAGE_BUILD)/ekranik_*.deb
	@cd $(PACKAGE_BUILD) && cpack -G DEB
	@lintian --fail-on error --display-info $(PACKAGE_BUILD)/ekranik_*.deb

# The download tests once more under ThreadSanitizer (a build of its own in build-tsan/).
tsan: deps
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS="-fsanitize=thread -g -O1" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target tst_httpfetch
	@TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/support/tsan-qt.supp" \
	  QT_QPA_PLATFORM=offscreen build-tsan/tests/net/tst_httpfetch

# Every shell script of the project, following the helpers they source.
SHELL_SCRIPTS = scripts/*.sh tests/e2e/*.sh .ci/run
shellcheck: deps
	@shellcheck -x $(SHELL_SCRIPTS)

# The C++ sources as .clang-format lays them out; changes nothing, names what differs.
style:
	@./scripts/install-deps.sh style
	@git ls-files -z 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' | xargs -0 clang-format --dry-run -Werror

# Further gates, one file each: the sanitizer build (mk/asan.mk) and the fuzzing (mk/fuzz.mk).
include $(wildcard mk/*.mk)
