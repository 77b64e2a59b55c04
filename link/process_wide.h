#pragma once
// What stays process-wide, and why. Everything else belongs to an object its owner makes and
// passes by reference: a meter's port, identity and hand-over to its MeterLink, a reading to
// whoever fetched it, graph state to its graph window.
//
// 1. The message handler (link/message_seam.cpp). Every message of a program goes one road,
//    chosen once by the program: message boxes in the window, standard error in the tool, a
//    recorder in a test. Workers deep in an exchange reach it without being handed a sink.
// 2. The signal handlers' targets: the window's close-signal pipe (app/close_requests_posix.cpp)
//    and the flag the tool's jobs have raised on Ctrl+C (cli/cli_signals.cpp). A signal
//    handler takes no argument, so what it reaches must be at namespace scope; both are
//    lock-free and written only from the handler and the one thread that installs it. On
//    Windows the console's control handler takes none either: it reaches the window's close
//    receiver (app/close_requests_win32.cpp) under a lock the receiver's destruction takes.
// 3. The Qt application, one per process by the toolkit's own rule, made in each program's
//    main(). The file dialogs' script for tests hangs off it (ui/file_dialog.cpp).
