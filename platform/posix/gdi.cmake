# Drawing: bitmaps, fonts, memory contexts (defined by the GDI work).
