// Many runs at once, as a batch conversion starts them (xargs -P, a script looping with &): runs
// that aim at the same output file, and runs whose output would be another running conversion's
// input. Each run must either convert whole or refuse cleanly, and no file may be harmed.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "cli/convert.h"
#include "program_fixture.h"
#include "vag/vag_format.h"
#include "wav/wav_writer.h"

namespace mirnod::test {
namespace {

struct job {
    fs::path input;
    std::string name;  // the name field, which names the output
    bytes content;
    std::uint64_t hole = 0;  // empty blocks after the content, left as a hole in a sparse file
    bytes wav = expected_wav(content);
};

void write_input(const job& j) {
    write_file(j.input, j.content);
    if (j.hole != 0) {
        fs::resize_file(j.input, j.content.size() + j.hole);
    }
}

bool is_intact(const job& j) {
    if (fs::file_size(j.input) != j.content.size() + j.hole) {
        return false;
    }
    bytes start(j.content.size());
    std::FILE* file = std::fopen(j.input.string().c_str(), "rb");
    const bool read =
        file != nullptr && std::fread(start.data(), 1, start.size(), file) == start.size();
    if (file != nullptr) {
        std::fclose(file);
    }
    return read && start == j.content;
}

// The file's blocks followed by a hole of `hole` bytes of empty blocks, announced in the header.
bytes with_hole_announced(const std::string& name, const bytes& blocks, std::uint64_t hole) {
    return vag_file(name, static_cast<std::uint32_t>(blocks.size() + hole), blocks);
}

std::string dots_for(const job& j) {
    const std::size_t sample_bytes = j.wav.size() - 44;
    return std::string((sample_bytes + sample_buffer_size - 1) / sample_buffer_size, '.');
}

std::string estimate_for(const bytes& content) {
    const std::uint32_t data_size = read_big_endian_32(&content[12]);
    return format_grouped(static_cast<std::int32_t>(data_size / 16 * 56 + 44));
}

// What a run converting `j` into `destination` prints when it succeeds, and when it is refused.
std::string success_report(const job& j, const fs::path& destination) {
    return console_text(banner + "decode to " + destination.string() + sep + "\ndecoding " +
                        j.name + ".wav (about " + estimate_for(j.content) + " bytes)" +
                        dots_for(j) + "done.\n");
}

std::string refusal_report(const job& j, const fs::path& destination) {
    const std::string path = destination.string() + sep + j.name + ".wav";
    return console_text(banner + "decode to " + destination.string() + sep + "\ndecoding " +
                        j.name + ".wav (about " + estimate_for(j.content) +
                        " bytes)\nerror : can't create "
                        "file. (" +
                        path + ")done.\n");
}

TEST_F(program, concurrent_runs_never_share_an_output_or_harm_an_input) {
    const fs::path inputs = scratch.path / "inputs";
    const fs::path destination = scratch.path / "dest";
    const fs::path guarded_out = scratch.path / "guarded_out";
    for (const fs::path& directory : {inputs, destination, guarded_out}) {
        fs::create_directory(directory);
    }
    // 24 inputs of different lengths share three names; the empty name makes ".wav".
    const std::string names[] = {"alpha", "beta", ""};
    std::vector<job> batch;
    for (std::uint32_t i = 0; i < 24; ++i) {
        const bytes blocks = varied_blocks(3000 + 1700 * i, 100 + i);
        const std::string name = names[i % 3];
        const bytes content = vag_file(name, static_cast<std::uint32_t>(blocks.size()), blocks);
        batch.push_back({inputs / ("in_" + std::to_string(i) + ".vag"), name, content});
    }
    // Guarded inputs sit where other runs' outputs go. Their long hole (a sparse run of empty
    // blocks, quick to make) keeps their own conversion busy while those runs start.
    std::vector<job> guarded;
    std::vector<job> attackers;
    for (int k = 0; k < 2; ++k) {
        const std::string target = "guard_" + std::to_string(k);
        const std::string own_name = "guarded_" + std::to_string(k);
        const std::uint64_t hole = 64 << 20;
        const bytes content = with_hole_announced(own_name, varied_blocks(2, 7 + k), hole);
        guarded.push_back({destination / (target + ".wav"), own_name, content, hole});
        const bytes attack = vag_file(target, 16 * 40, varied_blocks(40, 50 + k));
        attackers.push_back({inputs / ("attack_" + std::to_string(k) + ".vag"), target, attack});
    }
    for (const std::vector<job>* jobs : {&batch, &guarded, &attackers}) {
        for (const job& j : *jobs) {
            write_input(j);
        }
    }

    const int rounds = 4;
    std::size_t successes = 0;
    std::size_t refusals = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const std::string& name : names) {
            fs::remove(destination / (name + ".wav"));
        }
        fs::remove_all(guarded_out);
        fs::create_directory(guarded_out);

        // Each guarded conversion is held still once it has its input open.
        std::vector<started_program> holders;
        for (const job& j : guarded) {
            holders.push_back(
                start(bin / program_name, {j.input.string(), guarded_out.string()}, {elsewhere}));
            ASSERT_TRUE(read_until(holders.back(), " bytes)")) << holders.back().output_so_far;
            pause(holders.back());
        }
        // All at once: the batch, and runs whose output is a held input.
        std::vector<started_program> running;
        for (const std::vector<job>* jobs : {&batch, &attackers}) {
            for (const job& j : *jobs) {
                running.push_back(start(bin / program_name,
                                        {j.input.string(), destination.string()}, {elsewhere}));
            }
        }
        std::map<std::string, std::vector<const job*>> converted;  // by name, the runs that did
        for (std::size_t r = 0; r < running.size(); ++r) {
            const job& j = r < batch.size() ? batch[r] : attackers[r - batch.size()];
            const run_result result = finish(running[r]);
            if (r >= batch.size()) {
                EXPECT_EQ(result.output, refusal_report(j, destination)) << "round " << round;
                continue;
            }
            if (result.output == success_report(j, destination)) {
                converted[j.name].push_back(&j);
                ++successes;
            } else {
                EXPECT_EQ(result.output, refusal_report(j, destination))
                    << "round " << round << ", " << j.input;
                ++refusals;
            }
        }
        for (std::size_t k = 0; k < holders.size(); ++k) {
            resume(holders[k]);
            const run_result result = finish(holders[k]);
            EXPECT_EQ(result.output, success_report(guarded[k], guarded_out));
            EXPECT_EQ(read_file(guarded_out / (guarded[k].name + ".wav")), guarded[k].wav);
        }
        // Every output is whole: exactly the conversion of one input of its name whose run
        // reported success.
        for (const std::string& name : names) {
            const bytes output = read_file(destination / (name + ".wav"));
            bool matches_one = false;
            for (const job* j : converted[name]) {
                matches_one = matches_one || output == j->wav;
            }
            EXPECT_TRUE(matches_one) << "round " << round << ": " << name << ".wav, "
                                     << converted[name].size() << " runs converted it";
        }
    }
    for (const std::vector<job>* jobs : {&batch, &guarded, &attackers}) {
        for (const job& j : *jobs) {
            EXPECT_TRUE(is_intact(j)) << j.input << " was changed";
        }
    }
    std::printf("%d rounds of %zu runs at once: %zu converted, %zu refused as taken\n", rounds,
                batch.size() + attackers.size(), successes, refusals + attackers.size() * rounds);
    RecordProperty("refusals", std::to_string(refusals));
}

}  // namespace
}  // namespace mirnod::test
