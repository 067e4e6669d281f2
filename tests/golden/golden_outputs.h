// SPDX-License-Identifier: Apache-2.0
// Exact outputs of the functions every door exports and of a session on the bundled sample, as
// float bits: the same on every build and platform. golden_vectors_test compares a build's outputs
// with golden_vectors.txt, or rewrites it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quorvanta::golden {

struct Output {
    std::string name;
    std::vector<float> values;
};

// Every golden output, computed from the sample recording at `sample`.
std::vector<Output> compute_outputs(const std::filesystem::path& sample);

// One output a line: its name, then each value's bits as 8 hexadecimal digits.
void write_outputs(const std::vector<Output>& outputs, const std::filesystem::path& file);
std::vector<Output> read_outputs(const std::filesystem::path& file);

}  // namespace quorvanta::golden
