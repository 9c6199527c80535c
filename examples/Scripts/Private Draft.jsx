// Listed in .hidden, so the palette does not show it.
