# Builds and tests _pyQorvane with its stand-in engine. `make demo` and `make test` install what they
# need when it is missing: Debian packages with apt, Python packages into the project's venv.
SHELL := /bin/bash
PYTHON ?= python3
VENV := .venv
PY := $(VENV)/bin/python
BUILD := build
BUILD_ASAN := build-asan
VENV_NEWEST := .venv-newest
APT_PACKAGES := g++ pkg-config libgtest-dev libeigen3-dev python3-dev python3-venv
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
# apt-get update, tried again while a mirror is in the middle of a sync (its index files then fail to
# download, "Mirror sync in progress?"). If every try fails, apt keeps the indexes it could read and the
# install that follows tells whether they serve.
APT_UPDATE_TRIES := 3
APT_UPDATE = updated=; for try in $$(seq $(APT_UPDATE_TRIES)); do $(SUDO) apt-get update -qq && { updated=1; break; }; \
	  [ $$try = $(APT_UPDATE_TRIES) ] || { echo "apt-get update failed ($$try of $(APT_UPDATE_TRIES)), again in 30 s"; sleep 30; }; \
	  done; [ -n "$$updated" ] || echo "apt-get update could not read every index; installing from those it read"

# The module tests run against the journaling test double, put first with LD_LIBRARY_PATH.
DOUBLE_DIR = $(abspath $(1))/tests/double
PYTEST := -m pytest -q -p no:cacheprovider

# Sanitizer runs: the interpreter is not instrumented, so the runtime is preloaded.
ASAN_ENV = QORVANE_HYPOTHESIS_EXAMPLES=30 QORVANE_LEAK_ITERATIONS=300 LD_PRELOAD="$$(gcc -print-file-name=libasan.so) $$(gcc -print-file-name=libubsan.so)" \
	ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_init_order=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1


.PHONY: test-package package-installed
.PHONY: demo check test build deps apt venv test-cxx test-module test-engine test-bench-tools test-asan test-newest clean

# The demo needs the module and the stand-in engine (the package runs from its sources): only those are
# built, not the test double, the C++ tests or the bench's references.
DEMO_MODULE = binding/_pyQorvane$$($(PY) -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
DEMO_FIRST_BUILD := about 2 minutes on two cores
demo: deps
	@[ -f $(BUILD)/build.ninja ] || $(VENV)/bin/meson setup $(BUILD)
	@ls $(BUILD)/binding/_pyQorvane*.so >/dev/null 2>&1 \
	  || echo "building the module and the stand-in engine: the first build takes $(DEMO_FIRST_BUILD)"
	$(VENV)/bin/ninja -C $(BUILD) $(DEMO_MODULE) vuzizi/libVuzizi32.so
	@$(PY) -c "import matplotlib" 2>/dev/null || $(PY) -m pip install -q matplotlib
	PYTHONPATH=$(BUILD)/binding:$(PACKAGE_DIR) $(PY) examples/demo.py

# Everyday work, a few minutes: the module tests over the double, the engine's C++ and Python tests, the
# package's tests and type check.
check: test-module test-cxx test-engine test-package

test: build test-cxx test-module test-engine test-package test-bench-tools test-asan wheels test-newest test-reliability \
	test-windows

apt:
	@missing=""; for p in $(APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then echo "installing:$$missing"; \
	  $(APT_UPDATE); DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; fi

$(VENV)/.installed: requirements-dev.txt
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q -r requirements-dev.txt
	touch $@

deps: apt $(VENV)/.installed

build: deps
	@[ -f $(BUILD)/build.ninja ] || $(VENV)/bin/meson setup $(BUILD)
	$(VENV)/bin/ninja -C $(BUILD)

test-cxx: build
	$(VENV)/bin/meson test -C $(BUILD) --print-errorlogs

test-module: build
	LD_LIBRARY_PATH=$(call DOUBLE_DIR,$(BUILD)) PYTHONPATH=$(BUILD)/binding $(PY) $(PYTEST) tests/module

# The bench's own tools (generators, layouts, references); the bench itself is not run here.
test-bench-tools: build
	LD_LIBRARY_PATH=$(call DOUBLE_DIR,$(BUILD)) PYTHONPATH=$(BUILD)/binding:$(BUILD)/bench $(PY) $(PYTEST) bench/tests

test-engine: build
	PYTHONPATH=$(BUILD)/binding:$(PACKAGE_DIR) $(PY) $(PYTEST) tests/engine_py

test-asan: deps
	@[ -f $(BUILD_ASAN)/build.ninja ] || $(VENV)/bin/meson setup $(BUILD_ASAN) -Dbuildtype=debug \
	  -Db_sanitize=address,undefined -Db_lundef=false \
	  -Dc_args=-fno-sanitize-recover=all -Dcpp_args=-fno-sanitize-recover=all
	$(VENV)/bin/ninja -C $(BUILD_ASAN)
	$(ASAN_ENV) $(VENV)/bin/meson test -C $(BUILD_ASAN) --print-errorlogs
	$(ASAN_ENV) LD_LIBRARY_PATH=$(call DOUBLE_DIR,$(BUILD_ASAN)) PYTHONPATH=$(BUILD_ASAN)/binding $(PY) $(PYTEST) tests/module
	$(ASAN_ENV) PYTHONPATH=$(BUILD_ASAN)/binding:$(PACKAGE_DIR) $(PY) $(PYTEST) tests/engine_py

# The Linux wheel of $(DIST) (built against numpy 2.2.5) in a fresh venv with the newest numpy 2 release
# and the extras the tests need, installed and run with no compiler on PATH: the module tests over the double (LD_LIBRARY_PATH still puts
# another engine first), the engine's and the package's tests, the README's quick start and the sweep.
NO_COMPILER = env PATH=$(abspath $(VENV_NEWEST))/bin
COMPILERS := cc gcc g++ c++ clang clang++
test-newest: wheel-linux
	rm -rf $(VENV_NEWEST) && $(PYTHON) -m venv $(VENV_NEWEST)
	$(NO_COMPILER) $(SHELL) -c '! command -v $(COMPILERS)' || { echo "a compiler is on the venv's PATH"; exit 1; }
	$(NO_COMPILER) python -m pip install -q --only-binary=:all: "numpy>=2,<3" \
	  "$(abspath $(wildcard $(DIST)/*-manylinux*.whl))[tables,progress,test]"
	cd /tmp && $(NO_COMPILER) python -c "import numpy, _pyQorvane, qorvane, pathlib, sysconfig; \
	  site = pathlib.Path(sysconfig.get_paths()['platlib']); \
	  assert pathlib.Path(_pyQorvane.__file__).parent == site, _pyQorvane.__file__; \
	  assert pathlib.Path(qorvane.__file__).parent == site / 'qorvane', qorvane.__file__; \
	  assert (site / '_pyQorvane.pyi').is_file() and any(site.glob('libVuzizi32*')); \
	  print('installed module with numpy', numpy.__version__)"
	cd tests && LD_LIBRARY_PATH=$(call DOUBLE_DIR,$(BUILD)) $(NO_COMPILER) python $(PYTEST) module
	cd tests && $(NO_COMPILER) python $(PYTEST) engine_py
	cd tests && $(NO_COMPILER) python $(PYTEST) qorvane
	$(MAKE) --no-print-directory package-installed

# --- The qorvane package (python/qorvane): tests against the stand-in engine, mypy, the installed wheel.
PACKAGE_DIR := python
test-package: build
	PYTHONPATH=$(BUILD)/binding:$(PACKAGE_DIR) $(PY) $(PYTEST) tests/qorvane
	PYTHONPATH=$(BUILD)/binding:$(PACKAGE_DIR) MYPYPATH=binding $(VENV)/bin/mypy --strict --no-incremental \
	  $(PACKAGE_DIR)/qorvane examples/demo.py

# From a folder outside the repository, with only the wheel installed: the README's quick start and the sweep.
PACKAGE_CHECK_DIR := /tmp/qorvane-installed-check
package-installed:
	rm -rf $(PACKAGE_CHECK_DIR) && mkdir -p $(PACKAGE_CHECK_DIR)
	sed -n '/^## Quick start/,/^```$$/p' README.md | sed '1,/^```python/d;$$d' > $(PACKAGE_CHECK_DIR)/quick_start.py
	cd $(PACKAGE_CHECK_DIR) && $(NO_COMPILER) python quick_start.py
	cd $(PACKAGE_CHECK_DIR) && $(NO_COMPILER) python -m qorvane.examples.sweep

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD32) $(FUZZ_BUILD) $(WIN_DIR) $(WHEEL_DIR) $(DIST)

include mk/reliability.mk
include mk/bench.mk
include mk/windows.mk
include mk/wheels.mk
