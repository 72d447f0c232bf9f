# `make test-stress`: the end-to-end tests on a machine that is busy with other work, as a
# newcomer's first `make test` may find it. Built as `make test` builds, then the e2e label
# run STRESS_ROUNDS times, STRESS_JOBS tests at a time, while scripts/burn-cpu.sh keeps every
# core busy; the burner is stopped however the run ends. Fails when any round fails. Not part
# of .ci/run: it takes minutes and needs the machine to itself.
STRESS_ROUNDS ?= 3
STRESS_JOBS ?= 4

.PHONY: test-stress
test-stress: deps
	@cmake -S . -B $(BUILD) -G Ninja -DEKRANIK_WERROR=ON >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@./scripts/burn-cpu.sh & burner=$$!; \
	trap 'kill $$burner 2>/dev/null; wait $$burner' EXIT; \
	trap 'exit 130' INT; trap 'exit 143' TERM; trap 'exit 129' HUP; \
	start=$$(date +%s); failed=0; \
	for round in $$(seq $(STRESS_ROUNDS)); do \
	  echo "test-stress: round $$round of $(STRESS_ROUNDS), ctest -L e2e -j $(STRESS_JOBS) beside $$(nproc) busy cores"; \
	  (cd $(BUILD) && ctest -L e2e -j $(STRESS_JOBS) --output-on-failure) || failed=$$((failed + 1)); \
	done; \
	echo "test-stress: $$(($(STRESS_ROUNDS) - failed)) of $(STRESS_ROUNDS) rounds passed in $$(($$(date +%s) - start)) s"; \
	[ "$$failed" -eq 0 ]
