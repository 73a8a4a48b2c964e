// io_floor INPUT OUTPUT: the input and output work of one conversion, without the decoding. Reads
// INPUT in the converter's stretches and writes as many bytes as its conversion makes to a new
// OUTPUT, in the converter's pieces of 1,048,578 bytes, then rewrites the two size fields. The
// whole process can be no faster than this.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "vag/multichain.h"
#include "vag/vag_format.h"
#include "wav/wav_writer.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: io_floor INPUT OUTPUT\n");
        return 2;
    }
    const int input = open(argv[1], O_RDONLY);
    const int output = open(argv[2], O_WRONLY | O_CREAT, 0666);
    if (input < 0 || output < 0) {
        std::perror("io_floor");
        return 1;
    }
    std::vector<std::uint8_t> blocks(mirnod::stretch_blocks * mirnod::vag_block_size);
    std::uint64_t block_count = 0;
    ssize_t got = read(input, blocks.data(), mirnod::vag_header_size);
    while ((got = read(input, blocks.data(), blocks.size())) > 0) {
        block_count += static_cast<std::uint64_t>(got) / mirnod::vag_block_size;
    }
    const std::vector<std::uint8_t> piece(mirnod::sample_buffer_size, 0x55);
    std::uint64_t left = block_count * 56;
    bool written = write(output, piece.data(), mirnod::wav_header_size) ==
                   static_cast<ssize_t>(mirnod::wav_header_size);
    while (written && left > 0) {
        const std::size_t size = left < piece.size() ? left : piece.size();
        written = write(output, piece.data(), size) == static_cast<ssize_t>(size);
        left -= size;
    }
    written = written && pwrite(output, piece.data(), 4, 4) == 4 &&
              pwrite(output, piece.data(), 4, 40) == 4;
    close(input);
    if (close(output) != 0 || !written) {
        std::perror("io_floor");
        return 1;
    }
    return 0;
}
