// SPDX-License-Identifier: MIT
// The search on Windows: its attribute word, junctions, long paths.
