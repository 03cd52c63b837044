// MPEG-4 decoder component for the Marlin and Heron families (entry points filled in by the decoding work).
extern "C" __attribute__((visibility("default"))) unsigned int GetQORMarlinDllVersion() { return 0x01000001u; }
