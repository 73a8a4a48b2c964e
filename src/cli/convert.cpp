#include "cli/convert.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "platform/platform.h"
#include "vag/vag_format.h"
#include "wav/wav_writer.h"

namespace mirnod {

namespace {

constexpr char banner[] = "mirnod ver.0.1a by ravoku.\n\n";

// Lines 2 to 4 are Japanese: "the location of the VAG file", "the output destination (may be
// omitted)", "display this". The Windows console shows them in Shift_JIS, where two of the
// characters end in the byte 0x5C, written here as "\\".
constexpr char usage_shift_jis[] =
    "Usage : mirnod <file_name> [dest_path]\n"
    "  file_name   vag\202\314\217\352\217\212.\n"
    "  dest_path\201@ \217o\227\315\220\346.(\217\310\227\252\211\302\224\\)\n"
    "  /?          \202\261\202\352\202\360\225\\\216\246.\n";

// The same lines in UTF-8; after "dest_path" stands an ideographic space (U+3000).
constexpr char usage_utf8[] =
    "Usage : mirnod <file_name> [dest_path]\n"
    "  file_name   vagの場所.\n"
    "  dest_path\xE3\x80\x80 出力先.(省略可能)\n"
    "  /?          これを表示.\n";

// The working directory is shown only when it fits the 512-byte display buffer with its NUL.
constexpr std::size_t display_directory_limit = 511;

// Bytes the finished file will take: 56 per announced block, empty ones included, plus the
// header. Wraps modulo 2^32 like the size fields it predicts.
std::uint32_t estimated_wav_size(std::uint32_t data_size) {
    return block_count_for(data_size) * 56u + static_cast<std::uint32_t>(wav_header_size);
}

const char* usage_text() {
    return platform::console_encoding == platform::text_encoding::utf8 ? usage_utf8
                                                                       : usage_shift_jis;
}

bool is_option(const char* argument, std::initializer_list<const char*> spellings) {
    if (!platform::takes_options) {
        return false;
    }
    for (const char* spelling : spellings) {
        if (std::strcmp(argument, spelling) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string normalise_destination(const std::string& argument) {
    if (argument.size() < 2) {
        return std::string();
    }
    if (argument.back() == platform::directory_separator) {
        return argument;
    }
    return argument + platform::directory_separator;
}

std::string display_directory(const std::string& destination) {
    if (!destination.empty()) {
        return destination;
    }
    const std::string directory = platform::working_directory();
    return directory.size() > display_directory_limit ? std::string() : directory;
}

bool convert_file(const std::string& path, const std::string& destination) {
    std::FILE* input = platform::open_input(path);
    if (input == nullptr) {
        platform::write_console("error : can't open file (" + path + ").\n");
        return false;
    }
    vag_header header;
    std::size_t bytes_read = 0;
    if (std::fseek(input, 0, SEEK_SET) == 0) {
        bytes_read = std::fread(header.bytes.data(), 1, header.bytes.size(), input);
    }
    if (!is_supported_header(header.bytes.data(), bytes_read)) {
        platform::write_console("error : " + path + " isn't supported file.\n");
        std::fclose(input);
        return false;
    }
    const std::uint32_t data_size = header_data_size(header);
    const std::string name = header_name(header);

    platform::write_console("decode to " + display_directory(destination) + "\n");
    platform::write_console(
        "decoding " + name + ".wav (about " +
        format_grouped(static_cast<std::int32_t>(estimated_wav_size(data_size))) + " bytes)");

    std::fseek(input, 0, SEEK_SET);
    const transcode_result result = transcode_to_wav(input, data_size, destination, name);
    std::fclose(input);
    if (result.written && result.blocks_outside_table != 0) {
        // Such blocks come from variants of the format this program does not know: their sound
        // is most likely wrong, and the user should hear it from us first.
        platform::write_console(
            "\nwarning : " +
            format_grouped(static_cast<std::int32_t>(result.blocks_outside_table)) +
            " blocks use a filter or shift outside the table; they were decoded without "
            "prediction.\n");
    }
    platform::write_console("done.\n");
    return result.written;
}

int run_program(int argc, char** argv) {
    platform::write_console(banner);
    platform::prepare_working_directory();
    if (argc < 2 || is_option(argv[1], {"--help", "-h"})) {
        platform::write_console(usage_text());
        return 0;
    }
    if (is_option(argv[1], {"--version"})) {
        return 0;
    }
    const std::string destination = argc > 2 ? normalise_destination(argv[2]) : std::string();
    return convert_file(argv[1], destination) ? 0 : platform::failure_exit_status;
}

}  // namespace mirnod
