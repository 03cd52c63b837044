// Shows the conversion window and runs until it closes. The Qt application
// exists only here, so batch runs need no display.
#pragma once

namespace vidorra {

int RunConversionWindow(int argc, char** argv);

}  // namespace vidorra
