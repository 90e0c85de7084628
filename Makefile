# Thin wrapper over build.sh, which installs what is missing and drives CMake.
.PHONY: run test sanitize bench
run:
	./build.sh run
test:
	./build.sh test
sanitize:
	./build.sh sanitize
bench:
	./build.sh bench
