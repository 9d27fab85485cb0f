// The program's own run and workers under a model checker, which explores
// every execution that its memory model allows and checks in each what
// every interleaving keeps. Standard output is the recorder that <cstdio>
// stands for here (shim/cstdio). The pause does nothing: the checker orders
// the events every way it can, whatever their timing.
// Built with COUNT, the driver's argument, and APART for that model.

#include <assert.h>
#include <cstdio>
#include <stdio.h>

// The program's code as it is written, unoptimised, so that nothing checked
// rests on what an optimiser kept. The harness's own code is optimised: every
// memory access is an event for the checker, and locals kept in registers are
// not.
#pragma clang optimize off
#include "../../src/run.cpp"
#include "../../src/summation.cpp"
#pragma clang optimize on

void shorten_pauses() {}
void pause_briefly() {}

transcript::speaker recorder::speaker_of(const char* format)
{
    if (format == m_progress_text || format == m_final_text) {
        return transcript::speaker::m;
    }
    if (format == n_progress_text || format == n_final_text) {
        return transcript::speaker::n;
    }
    assert(format == middle_text || format == final_text);
    return transcript::speaker::main;
}

bool recorder::is_final(const char* format)
{
    return format == m_final_text || format == n_final_text || format == final_text;
}

int main()
{
    assert(run_summation(COUNT));
    assert(recorder::closed && recorder::printed_at_close == recorder::lines_printed());
    transcript::checker checker(COUNT, recorder::order);
    if (!recorder::check([&checker](const transcript::line& l) { return checker.add(l); }) ||
        !checker.finish()) {
        ::printf("line %zu: %s\n", checker.at, checker.what);
        assert(!"a property that every interleaving keeps");
    }
    return 0;
}
