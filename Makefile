# The two commands of the README: `make run` starts the engine, `make test` runs every test.
# Both install what is missing, configure once and rebuild only what changed.
BUILD_DIR := build

.PHONY: run test build deps
run: build
	@./$(BUILD_DIR)/orbelin

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure --label-exclude slow -j2

build: deps $(BUILD_DIR)/CMakeCache.txt
	@cmake --build $(BUILD_DIR) -j2

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

deps:
	@sh tools/install-deps.sh
