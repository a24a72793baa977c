#ifndef LEAFSWEEP_PKGTOOL_COLLECT_LEAVES_H
#define LEAFSWEEP_PKGTOOL_COLLECT_LEAVES_H

// Runs the leaf query under a "Searching for leaves" box and appends every
// leaf not offered earlier in this run to the leaf list. pass is 0 on the
// first pass. Returns go_on when the list holds a record; otherwise the user
// has been told why and the result says how the run ends.
int collect_leaves(int pass);

#endif
