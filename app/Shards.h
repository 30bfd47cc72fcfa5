// Genome-wide known-motif scans split into shards. A shard (-F -G -S s -g FILE -J A-B -o X)
// scans groups A..B only and writes their count tables (Xmargmodule.txt, ...) and, last, its
// manifest X: the input, the files its run read (with checksums), the range and the
// arguments. MergeShards checks the manifests, pools the counts and runs the program's own
// calls and report once: the files are those one -F -G run over all groups writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/InputParameter.h"
#include "base/Checksum.h"

struct ShardManifest {
    std::string input;               // -i as given
    FileSum inputSum;                // its size and checksum
    int groups = 0;                  // groups of the whole input
    int first = 0, last = 0;         // the shard's groups
    std::string motifs, background;  // -A and -g files as given
    FileSum motifsSum, backgroundSum;
    std::vector<std::string> arguments;  // the command line after the program's name
};

// The text of a manifest, and its reader (false with a one-line message naming the file).
std::string ManifestText(const ShardManifest& m);
bool ReadManifest(const std::string& file, ShardManifest& m, std::string& err);

// The manifest of this run (a shard of `groups` groups). False with a message when one of
// the files it read can no longer be read.
bool MakeManifest(const INPUTPARAMETER& param, int groups, ShardManifest& m, std::string& err);

// Merges the shards named by their -o names into the files under report (the report's first
// lines show commandLine). Returns the exit status; a refusal is one line on standard output
// naming the shard or the option at fault.
int MergeShards(const std::vector<std::string>& shards, const std::string& report, const std::string& commandLine);
