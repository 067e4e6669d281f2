// SPDX-License-Identifier: Apache-2.0
// quorvanta_golden_vectors SAMPLE.csv OUTPUT: writes the golden outputs of this build.
#include <cstdio>
#include <exception>

#include "golden_outputs.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SAMPLE.csv OUTPUT\n", argv[0]);
        return 2;
    }
    try {
        quorvanta::golden::write_outputs(quorvanta::golden::compute_outputs(argv[1]), argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
