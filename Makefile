# Entry points: `make run` and `make test` install what is missing, build and run.
SHELL := /bin/bash
.PHONY: all deps build run test bench fuzz dist clean

all: build

deps:
	bash scripts/install-deps.sh
	bash scripts/build-win-deps.sh

build: deps
	bash scripts/build.sh

run: build
	bash scripts/run.sh

test: deps
	bash scripts/test.sh

# The installer, the portable zip, SHA256SUMS, the bill of materials and the package managers'
# manifests, into build/dist; signed with `make dist SIGN_PFX=<file.pfx>` (SIGN_PASSWORD).
dist: build
	bash scripts/dist.sh

bench: deps
	bash scripts/bench.sh

# Longer fuzzing on demand: make fuzz FUZZ_SECONDS=600
fuzz: deps
	FUZZ_SECONDS=$${FUZZ_SECONDS:-300} bash scripts/fuzz.sh

clean:
	rm -rf build/win32 build/native build/fuzz build/bench build/dist
