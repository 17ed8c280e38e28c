# The two commands of the README: `make run` starts the engine, `make test` runs every test.
# Both install what is missing, configure once and rebuild only what changed. Plain `make`
# builds everything (Release); `make install` installs it (PREFIX, DESTDIR); `make EXE=<name>`
# builds the engine alone as ./<name>, the way distributed testing (OpenBench) builds engines.
BUILD_DIR := build
PREFIX    ?= /usr/local

.PHONY: all run test build deps engine-deps default-egbb default-book install
ifdef EXE
all: $(EXE)
else
all: build
endif

run: build default-egbb default-book
	@./$(BUILD_DIR)/orbelin

# The default bitbase directory ./egbb/: the plug-in built here, and links to Debian's 3-men
# Gaviota files and to the 3- and 4-men Syzygy files of data/syzygy/ (collected by the build in
# $(BUILD_DIR)/egbb/). Files already there, such as 5-men files added by hand, are kept. The
# plug-in is replaced, not overwritten in place, so an engine that has the old one loaded keeps
# running.
default-egbb: build
	@mkdir -p egbb
	@cp --remove-destination $(BUILD_DIR)/egbb/egbbso.so egbb/egbbso.so
	@for file in $(BUILD_DIR)/egbb/*.gtb.cp4 $(BUILD_DIR)/egbb/*.rtbw $(BUILD_DIR)/egbb/*.rtbz; do \
		[ -e "egbb/$${file##*/}" ] || ln -sf "$$(readlink -f "$$file")" egbb/; \
	done

test: build default-book
	cd $(BUILD_DIR) && ctest --output-on-failure --label-exclude slow -j2

# The default opening book ./performance.bin: a link to the Polyglot book of Debian's
# gnuchess-book package. A performance.bin already there (a book of your own) is kept.
default-book: deps
	@if [ ! -e performance.bin ]; then \
		book="$$(dpkg -L gnuchess-book 2>/dev/null | grep '/book\.bin$$' | head -n 1)"; \
		if [ -n "$$book" ]; then ln -sfn "$$book" performance.bin; \
		else echo "gnuchess-book has no book.bin: the engine starts without a book"; fi; \
	fi

build: deps $(BUILD_DIR)/CMakeCache.txt
	@cmake --build $(BUILD_DIR) -j2

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

# The programs in $(PREFIX)/bin, the plug-in in $(PREFIX)/lib/orbelin, the tables and the default
# book in $(PREFIX)/share/orbelin; DESTDIR, when set, is put before every path.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# The engine alone in a build folder of its own (one per compiler), copied to ./$(EXE). Only the
# compiler, CMake and GLib are needed; warnings do not stop a build with another compiler.
ifdef EXE
ifeq ($(origin CXX),default)
EXE_COMPILER :=
EXE_DIR      := build-exe
else
EXE_COMPILER := -DCMAKE_CXX_COMPILER=$(CXX)
EXE_DIR      := build-exe-$(notdir $(CXX))
endif
.PHONY: $(EXE)
$(EXE): engine-deps
	@[ -f $(EXE_DIR)/CMakeCache.txt ] || cmake -S . -B $(EXE_DIR) -DCMAKE_BUILD_TYPE=Release \
		-DORBELIN_ENGINE_ONLY=ON -DORBELIN_WERROR=OFF $(EXE_COMPILER)
	@cmake --build $(EXE_DIR) --target orbelin -j2
	@cp $(EXE_DIR)/orbelin $(EXE)
endif

deps:
	@sh tools/install-deps.sh

engine-deps:
	@sh tools/install-deps.sh engine
