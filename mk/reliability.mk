# Reliability runs: the 32-bit build with its C++ tests, the model-file fuzzer, and the module under
# valgrind. Included by the Makefile, which defines VENV, PY, BUILD and the deps target.
BUILD32 ?= build-32
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
VALGRIND_NETWORK ?= tests/engine/data/Net1.inp
VALGRIND_HORIZON ?= 5
VALGRIND := valgrind --tool=memcheck --error-exitcode=1 --leak-check=no --num-callers=40 \
	--suppressions=tests/valgrind/python.supp
RELIABILITY_APT_PACKAGES := g++-multilib clang libclang-rt-14-dev valgrind binutils libgtest-dev libeigen3-dev

.PHONY: test-reliability test-build32 test-fuzz test-valgrind reliability-apt

test-reliability: test-build32 test-fuzz test-valgrind

reliability-apt:
	@missing=""; for p in $(RELIABILITY_APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then echo "installing:$$missing"; \
	  $(APT_UPDATE); DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; fi

# The engine libraries, the session and the engine's C++ tests for 32-bit x86 (no Python module).
test-build32: deps reliability-apt
	@[ -f $(BUILD32)/build.ninja ] || $(VENV)/bin/meson setup $(BUILD32) --cross-file cross/i686-linux.ini -Dmodule=false
	$(VENV)/bin/ninja -C $(BUILD32)
	for lib in $(BUILD32)/vuzizi/libVuzizi32.so $(BUILD32)/tests/double/libVuzizi32.so; do \
	  readelf -h $$lib | grep -q "Class: *ELF32" || { echo "$$lib is not 32-bit"; exit 1; }; done
	$(VENV)/bin/meson test -C $(BUILD32) --print-errorlogs

test-fuzz: reliability-apt
	FUZZ_BUILD=$(FUZZ_BUILD) FUZZ_SECONDS=$(FUZZ_SECONDS) tests/fuzz/run.sh

# The module over the stand-in engine (found through the build's run path) under memcheck. The
# workload of every function is checked in full. The demo imports much more of the standard library,
# where Python 3.11's reading of the digit of a zero int spreads undefined bits too widely to
# suppress by name, so its run checks addressability only: invalid reads, writes and frees.
VALGRIND_RUN = PYTHONMALLOC=malloc PYTHONPATH=$(BUILD)/binding:$(PACKAGE_DIR) $(VALGRIND)
test-valgrind: build reliability-apt
	$(VALGRIND_RUN) $(PY) tests/valgrind/exercise.py $(VALGRIND_NETWORK)
	$(VALGRIND_RUN) --undef-value-errors=no $(PY) examples/demo.py --horizon $(VALGRIND_HORIZON) --no-plot
