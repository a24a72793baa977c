#ifndef LEAFSWEEP_PKGTOOL_LEAF_LIST_H
#define LEAFSWEEP_PKGTOOL_LEAF_LIST_H

#include <dialog.h>

// The packages offered in the current pass, in the form the checklist takes
// them. The list owns every record's name and help; every text points at
// empty_text, which is never written or released.
extern DIALOG_LISTITEM* leaf_items;
extern int leaf_count;
extern char empty_text[];

// Appends an unticked record holding copies of name and help. On a failed
// allocation the list stays exactly as it was and false is returned.
bool append_leaf(const char* name, const char* help);

// Releases every record and leaves the list empty.
void free_leaf_list();

#endif
