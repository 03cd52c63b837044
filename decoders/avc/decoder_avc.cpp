// H.264 decoder component for the YUV family (entry points filled in by the decoding work).
namespace qor_avc {}
