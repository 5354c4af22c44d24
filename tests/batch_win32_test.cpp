// SPDX-License-Identifier: MIT
// The batch on what only Windows has.
