// SPDX-License-Identifier: Apache-2.0
#include "output_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace quorvanta::cli {
namespace {

std::filesystem::path temporary_name(const std::filesystem::path& file) {
    std::string name(1, '.');
    name.append(file.filename().string()).append(".tmp-").append(std::to_string(getpid()));
    return file.parent_path() / name;
}

[[noreturn]] void fail(const std::filesystem::path& file, const std::string& what) {
    throw OutputError(file.string() + ": " + what);
}

}  // namespace

void write_output(const std::filesystem::path& file,
                  const std::function<void(std::ostream&)>& write) {
    if (file == "-") {
        write(std::cout);
        std::cout.flush();
        return;
    }
    const std::filesystem::path temporary = temporary_name(file);
    try {
        std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
        if (!stream) fail(file, std::string("cannot create the file: ") + std::strerror(errno));
        write(stream);
        stream.close();
        if (!stream) fail(file, "cannot write the file");
        std::error_code error;
        std::filesystem::rename(temporary, file, error);
        if (error) fail(file, "cannot replace the file: " + error.message());
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
}

}  // namespace quorvanta::cli
