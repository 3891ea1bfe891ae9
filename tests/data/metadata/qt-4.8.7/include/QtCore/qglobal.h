// Stands in for the headers of a Qt 4.8 install, so that -I<prefix>/include names a path below the root.
