// The terminal layer: everything that touches the terminal device.
#pragma once

#include "dalk/console_file.hpp"
#include "dalk/input_parser.hpp"
#include "dalk/io.hpp"
#include "dalk/is_urxvt.hpp"
#include "dalk/output_profile.hpp"
#include "dalk/scancode_decoder.hpp"
#include "dalk/sequence.hpp"
#include "dalk/signals.hpp"
#include "dalk/terminal.hpp"
#include "dalk/terminfo.hpp"
#include "dalk/text.hpp"
#include "dalk/transcode.hpp"
#include "lum/generator.hpp"
