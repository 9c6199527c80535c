compiled script placeholder
