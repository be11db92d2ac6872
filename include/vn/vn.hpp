// The widget layer and everything it builds on: one include for applications.
#pragma once

#include "dalk/dalk.hpp"
#include "lum/generator.hpp"
#include "nerv/signal.hpp"
#include "vn/align.hpp"
#include "vn/application.hpp"
#include "vn/bordered.hpp"
#include "vn/button.hpp"
#include "vn/checkbox.hpp"
#include "vn/datatable.hpp"
#include "vn/focus.hpp"
#include "vn/label.hpp"
#include "vn/layout.hpp"
#include "vn/lineedit.hpp"
#include "vn/put.hpp"
#include "vn/terminal.hpp"
#include "vn/widget.hpp"
