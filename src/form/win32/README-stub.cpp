// placeholder until the window host lands
