// Pixel shaders of the show: a flat colour, and a texture tinted by a colour.
// The program sets vColor through the constant table and binds the texture
// to be drawn on stage 0, where TextureSampler lands.

texture g_Texture;              // the texture that TextureSampler reads
float4 vColor;                  // colour: red, green, blue, alpha

sampler TextureSampler = sampler_state
{
    Texture = (g_Texture);
    MipFilter = LINEAR;
    MinFilter = LINEAR;
    MagFilter = LINEAR;
};

struct VS_OUTPUT
{
    float4 Position  : POSITION;   // not read by the pixel shaders
    float2 TextureUV : TEXCOORD0;
};

struct PS_OUTPUT
{
    float4 RGBColor : COLOR0;
};

PS_OUTPUT ColorPS(VS_OUTPUT In)
{
    PS_OUTPUT Output;
    Output.RGBColor = vColor;
    return Output;
}

PS_OUTPUT TexturePS(VS_OUTPUT In)
{
    PS_OUTPUT Output;
    Output.RGBColor = vColor * tex2D(TextureSampler, In.TextureUV);
    return Output;
}
