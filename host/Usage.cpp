#include "host/Commands.h"

namespace zel::vortan {

void printUsage(std::ostream& out) {
    out << R"(usage: vortan COMMAND ...

Hosts VST 2.4 plug-ins from the command line.

  vortan info PLUGIN [--set NAME=VALUE]... [--json] [--programs] [state options]
      Shows the plug-in's effect record, names, versions, capabilities, pins and
      parameters (after the state options and the --set values are applied).
      --programs also lists the programs kept in the plug-in's chunk.

  vortan render PLUGIN [IN] OUT [options]
      Runs IN (WAV, FLAC, AIFF or Ogg; mono or stereo) through the plug-in and
      writes OUT. Without IN, renders a 20 s organ demo with the plug-in's
      "Lever" parameter moved from slow to fast at 5 s and back at 13 s.

      --set NAME=VALUE          set a parameter before the first block
      --at SECONDS NAME=VALUE   set a parameter at the block where SECONDS falls
      --cc SECONDS CHANNEL CONTROLLER VALUE
                                send a MIDI control change (channel 1..16,
                                controller and value 0..127) before that block
      --block N                 frames per block (default 512)
      --double                  process 64-bit floats (processDoubleReplacing)
      --out-channels 1|2        output channels (default 2)
      --tail SECONDS            render this long past the end of the input
      --format wav|flac         output file format (default: the input's)
      --bits 16|24|32f          output sample format (default: the input's)
      --rate HZ                 sample rate of the demo (default 44100)
      --automation              list the parameter changes the plug-in reported

  vortan edit PLUGIN [options]
      Opens the plug-in's editor in a window of its own (needs an X display)
      while the organ demo plays through the plug-in in real time (nothing is
      heard), so meters and animations move. Closing the window (or Ctrl-C)
      ends it and prints a summary line.

      --set NAME=VALUE          set a parameter before the editor opens
      --screenshot FILE         save the editor's pixels as a PNG file, then close
      --after SECONDS           when to take the screenshot (default 1 s after
                                the editor opened)
      --automation              list the parameter changes the plug-in reported

  State options (info, render and edit), applied in this order after the
  plug-in opens:
      --load-chunk FILE         give the plug-in a chunk saved before (as a DAW does)
      --bank FILE.zlb           give the plug-in a bank file as its chunk
      --program N               select stored program N (0..31) through the chunk
      --save-chunk FILE         write the plug-in's chunk (render: as processing
                                starts, with the --set values; edit: after the
                                editor closed, with the changes made in it)

  vortan help, vortan --help
      Shows this text.

NAME is a parameter's name or index, VALUE a normalized value from 0 to 1.
)";
}

} // namespace zel::vortan
