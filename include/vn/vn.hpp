// The widget layer and everything it builds on: one include for applications.
#pragma once

#include "dalk/dalk.hpp"
#include "lum/generator.hpp"
#include "nerv/signal.hpp"
#include "vn/align.hpp"
#include "vn/application.hpp"
#include "vn/focus.hpp"
#include "vn/label.hpp"
#include "vn/layout.hpp"
#include "vn/put.hpp"
#include "vn/scrollbar.hpp"
#include "vn/terminal.hpp"
#include "vn/textbox.hpp"
#include "vn/widget.hpp"
