// The export figures of lightwave_bench (--export and --qre).
#pragma once

// argv holds the folders; aQreFlag: load and export every .qre instead.
int LWBench_Export(int argc, char** argv, bool aQreFlag);
