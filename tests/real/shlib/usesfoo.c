/* A shared object that needs libfoo.so.1 and nothing else. */
int foo(void);
int uses_foo(void) { return foo() + 1; }
