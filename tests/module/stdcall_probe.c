/* A DLL whose one export removes its own arguments (__stdcall). */
int __stdcall Probe(int a, int b) { return a + b; }
