/* libfoo.so.1, a shared library a package provides. Built without the C
   library, which no package of a scratch root provides. */
int foo(void) { return 1; }
