// Records the motor-noise tables the plug-in ships: synthesizes them and writes
// their stored entries, table after table in the shipping order, as the
// machine's 32-bit floats, to the file named on the command line. The build
// runs it (CMakeLists.txt); engine/data/MotorNoiseTables.cpp includes the file.
//
//   make-motor-noise OUTPUT
//
// The file appears complete or not at all (written beside it, then renamed), so
// an interrupted build never leaves a short file that looks up to date.
#include "engine/data/MotorNoiseTables.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

bool write(const zel::MotorNoiseTables& tables, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const zel::MotorNoiseTableLayout& l : zel::kMotorNoiseLayout) {
        const zel::SampleTable& t = tables.*l.table;
        if (t.usedLength != l.usedLength || t.storedLength() != l.storedLength) {
            std::cerr << "make-motor-noise: a table of " << t.usedLength << " / "
                      << t.storedLength() << " entries where the layout has " << l.usedLength
                      << " / " << l.storedLength << "\n";
            return false;
        }
        out.write(reinterpret_cast<const char*>(t.data()),
                  static_cast<std::streamsize>(t.samples.size_bytes()));
    }
    out.close();
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make-motor-noise OUTPUT\n";
        return 2;
    }
    const std::string path = argv[1];
    const std::string partial = path + ".part";
    if (!write(zel::buildMotorNoiseTables(), partial)) {
        std::cerr << "make-motor-noise: cannot write " << partial << "\n";
        std::remove(partial.c_str());
        return 1;
    }
    std::error_code error;
    std::filesystem::rename(partial, path, error);
    if (error) {
        std::cerr << "make-motor-noise: cannot rename " << partial << " to " << path << ": "
                  << error.message() << "\n";
        return 1;
    }
    return 0;
}
