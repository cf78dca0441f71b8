# The bench: builds what it needs, then times the call frame and arrays against the test double and the
# stand-in engine in fresh processes. Writes bench/results/latest.json and latest.md.
# numpy's BLAS threads are kept from the pinned core (the bench uses no BLAS).
# BENCH_ARGS passes options on, e.g. `make bench BENCH_ARGS=--quick` or `BENCH_ARGS=--sections=frame`.
BENCH_ARGS ?=

.PHONY: bench

bench: build
	OPENBLAS_NUM_THREADS=1 LD_LIBRARY_PATH=$(call DOUBLE_DIR,$(BUILD)) PYTHONPATH=$(BUILD)/binding:$(BUILD)/bench \
	  $(PY) bench/run_bench.py --build $(BUILD) $(BENCH_ARGS)
