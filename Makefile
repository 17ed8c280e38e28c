# The two commands of the README: `make run` starts the engine, `make test` runs every test.
# Both install what is missing, configure once and rebuild only what changed.
BUILD_DIR := build

.PHONY: run test build deps default-egbb default-book
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

deps:
	@sh tools/install-deps.sh
